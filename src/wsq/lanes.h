// Helper threads kept for the life of the process, so that a parallel pass of the codec costs
// a wake-up rather than a thread start (tens of microseconds, paid about twenty times an image).
#pragma once

namespace quorvel::wsq {

// The most helper threads the process keeps, whatever callers ask for.
inline constexpr int kMaxHelpers = 63;

// Calls part(context, i) once for every i in [0, parts): on the calling thread and on up to
// `helpers` helper threads at once, each taking the next part not yet taken. Returns when
// every part has returned. The first exception a part throws is thrown here after the others
// are done. Helpers that cannot be started, are busy with another caller's parts, or do not
// exist in a forked child leave their share to the caller.
void run_parts(int parts, int helpers, void (*part)(const void* context, int index),
               const void* context);

template <class Part>
void run_parts(int parts, int helpers, const Part& part) {
    run_parts(
        parts, helpers,
        [](const void* context, int index) { (*static_cast<const Part*>(context))(index); }, &part);
}

}  // namespace quorvel::wsq
