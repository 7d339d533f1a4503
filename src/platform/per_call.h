// State that the C exports keep once for the whole process and that a C++ API call keeps an
// instance of its own of: a layer asks PerCall<State>::current(process) and gets the instance
// the calling thread installed for its call, else the process-wide one. Installing is
// per thread, so calls on other threads (and the C exports) never see a call's instance.
#pragma once

namespace quorvel::platform {

template <class State>
class PerCall {
public:
    // The instance installed on the calling thread, or null.
    static State* installed() noexcept { return t_installed; }
    static State& current(State& process) noexcept {
        return t_installed != nullptr ? *t_installed : process;
    }

    // Installs `own` on the calling thread until the scope ends (scopes nest).
    class Scope {
    public:
        explicit Scope(State& own) noexcept : previous_(t_installed) { t_installed = &own; }
        ~Scope() { t_installed = previous_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        State* previous_;
    };

private:
    static inline thread_local State* t_installed = nullptr;
};

}  // namespace quorvel::platform
