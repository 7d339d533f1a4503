// Parallel conversion in worker processes: the library's state (settings, the one bitmap, the
// codec's tables) is process-wide, so each worker is a forked copy with its own. Workers send
// one line per finished file through a pipe; a worker that dies on a file is replaced, and the
// file it was on is reported as failed.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "batch.h"
#include "batch_presenter.h"
#include "batch_progress.h"
#include "ui/conversion_paths.h"
#include "wsq/diag.h"

namespace quorvel::tool {
namespace {

#ifdef QUORVEL_COVERAGE
extern "C" void __gcov_dump();
// _exit skips the coverage counters' writing at exit: a coverage build writes them first.
void write_coverage() { __gcov_dump(); }
#else
void write_coverage() {}
#endif

volatile sig_atomic_t g_stop = 0;

void on_interrupt(int) { g_stop = 1; }

std::string one_line(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\t' || c == '\r') c = ' ';
    }
    return text;
}

// One file in this process, with the messages it raised kept for the report.
ui::FileResult convert_one(ui::ConversionJob& job, size_t j, CollectingPresenter& presenter) {
    wsq::DiagCapture codec_lines;
    presenter.take_messages();
    ui::FileResult result = job.convert(j, [](const std::string&) {});
    const std::string messages = presenter.take_messages();
    if (messages.empty()) return result;
    // The boxes, after the job's own reason unless a box already said it.
    const bool said = result.message.empty() || messages.find(result.message) != std::string::npos;
    result.message = said ? messages : result.message + "; " + messages;
    return result;
}

std::string encode_result(size_t j, const ui::FileResult& r) {
    std::ostringstream line;
    line << j << '\t' << static_cast<int>(r.status) << '\t' << r.input_bytes << '\t'
         << r.output_bytes << '\t' << r.seconds << '\t' << one_line(r.message) << '\n';
    return line.str();
}

bool decode_result(const std::string& line, size_t& j, ui::FileResult& r) {
    std::istringstream in(line);
    int status = 0;
    if (!(in >> j >> status >> r.input_bytes >> r.output_bytes >> r.seconds)) return false;
    r.status = static_cast<ui::FileStatus>(status);
    in.get();
    std::getline(in, r.message);
    return true;
}

void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// A worker whose run is gone (killed by a scheduler or `timeout`) stops as on Ctrl-C: the
// death of the parent sends it the stop signal, so it ends after the file in flight and only
// whole files remain. A parent that died before the request was made is seen by getppid.
void stop_with_parent(pid_t parent) {
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) g_stop = 1;
}

// The library's save writes every type through a replacing write under the real name, so an
// output is whole or absent and its bytes are those of `quorvel convert` and the window.
[[noreturn]] void worker_main(const ui::ConversionJob& plan, const std::vector<size_t>& files,
                              size_t from, int fd) {
    CollectingPresenter presenter;
    ui::ConversionJob job(plan.inputs(), ui::library_backend());
    job.set_files(plan.files());
    for (size_t k = from; k < files.size() && !g_stop; ++k) {
        write_all(fd, encode_result(files[k], convert_one(job, files[k], presenter)));
    }
    close(fd);
    write_coverage();
    _exit(0);
}

struct Worker {
    std::vector<size_t> files;
    size_t next = 0;  // the first file not reported yet
    pid_t pid = -1;
    int fd = -1;
    std::string pending;
};

bool start_worker(ui::ConversionJob& job, Worker& worker) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        close(fds[0]);
        stop_with_parent(parent);
        worker_main(job, worker.files, worker.next, fds[1]);
    }
    close(fds[1]);
    worker.pid = pid;
    worker.fd = fds[0];
    return true;
}

class Pool {
public:
    Pool(ui::ConversionJob& job, std::vector<BatchEntry>& entries, BatchProgress& progress)
        : job_(job), entries_(entries), progress_(progress) {}

    void run(std::vector<std::vector<size_t>> assignment) {
        for (auto& files : assignment) {
            workers_.emplace_back();
            workers_.back().files = std::move(files);
            if (!start_worker(job_, workers_.back()))
                fail_rest(workers_.back(), "cannot start a worker process");
        }
        while (any_running()) step();
    }

private:
    bool any_running() const {
        for (const Worker& worker : workers_) {
            if (worker.fd >= 0) return true;
        }
        return false;
    }

    void step() {
        if (g_stop && !forwarded_) forward_stop();
        std::vector<pollfd> fds;
        std::vector<Worker*> owners;
        for (Worker& worker : workers_) {
            if (worker.fd < 0) continue;
            fds.push_back({worker.fd, POLLIN, 0});
            owners.push_back(&worker);
        }
        if (poll(fds.data(), fds.size(), 200) <= 0) return;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) read_from(*owners[i]);
        }
    }

    void forward_stop() {
        forwarded_ = true;
        for (const Worker& worker : workers_) {
            if (worker.fd >= 0) kill(worker.pid, SIGINT);
        }
    }

    void read_from(Worker& worker) {
        char buffer[4096];
        const ssize_t n = read(worker.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) return;
        if (n <= 0) return finished(worker);
        worker.pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = worker.pending.find('\n')) != std::string::npos;) {
            take_line(worker, worker.pending.substr(0, end));
            worker.pending.erase(0, end + 1);
        }
    }

    void take_line(Worker& worker, const std::string& line) {
        size_t j = 0;
        ui::FileResult result;
        if (!decode_result(line, j, result) || j >= entries_.size()) return;
        ui::FileResult& entry = entries_[j].result;
        result.input = entry.input;
        result.output = entry.output;
        entry = result;
        ++worker.next;
        progress_.file_done(entries_[j]);
    }

    // A worker that died with files left: the one it was on failed; the rest go to a new one.
    void finished(Worker& worker) {
        close(worker.fd);
        worker.fd = -1;
        int status = 0;
        waitpid(worker.pid, &status, 0);
        const bool crashed = !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        if (worker.next >= worker.files.size() || g_stop || !crashed) return;
        remove_temporaries(worker.files[worker.next]);
        mark(worker.files[worker.next++], ui::FileStatus::ReadFailed, crash_message(status));
        worker.pending.clear();
        if (worker.next < worker.files.size() && !start_worker(job_, worker))
            fail_rest(worker, "cannot start a worker process");
    }

    // What the dead worker's replacing write left beside the output (".NAME.tmp-XXXXXX"):
    // a worker that dies runs no destructor. Only its worker writes that output.
    void remove_temporaries(size_t j) const {
        const std::string& output = entries_[j].result.output;
        std::string prefix = ".";
        prefix += ui::file_part(output);
        prefix += ".tmp-";
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(ui::directory_part(output), error)) {
            if (entry.path().filename().string().starts_with(prefix))
                std::filesystem::remove(entry.path(), error);
        }
    }

    static std::string crash_message(int status) {
        if (WIFSIGNALED(status))
            return "the conversion crashed (signal " + std::to_string(WTERMSIG(status)) + ")";
        return "the conversion process failed";
    }

    void mark(size_t j, ui::FileStatus status, const std::string& message) {
        entries_[j].result.status = status;
        entries_[j].result.message = message;
        progress_.file_done(entries_[j]);
    }

    void fail_rest(Worker& worker, const std::string& message) {
        while (worker.next < worker.files.size())
            mark(worker.files[worker.next++], ui::FileStatus::WriteFailed, message);
    }

    ui::ConversionJob& job_;
    std::vector<BatchEntry>& entries_;
    BatchProgress& progress_;
    std::vector<Worker> workers_;
    bool forwarded_ = false;
};

}  // namespace

void install_stop_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool stop_requested() { return g_stop != 0; }

std::vector<std::vector<size_t>> assign_workers(const std::vector<BatchEntry>& entries,
                                                int workers) {
    std::map<std::string, size_t> group_of_output;
    std::vector<std::vector<size_t>> assignment(workers > 0 ? workers : 1);
    for (size_t j = 0; j < entries.size(); ++j) {
        if (entries[j].planned_skip) continue;
        const auto [it, added] =
            group_of_output.try_emplace(entries[j].result.output, group_of_output.size());
        assignment[it->second % assignment.size()].push_back(j);
    }
    std::erase_if(assignment, [](const std::vector<size_t>& files) { return files.empty(); });
    return assignment;
}

bool convert_entries(ui::ConversionJob& job, std::vector<BatchEntry>& entries, int jobs,
                     BatchProgress& progress) {
    for (BatchEntry& entry : entries) {
        if (!entry.planned_skip) entry.result.status = ui::FileStatus::Stopped;
    }
    Pool(job, entries, progress).run(assign_workers(entries, jobs));
    for (BatchEntry& entry : entries) {
        if (entry.result.status == ui::FileStatus::Stopped)
            entry.result.message = "stopped before it was converted";
    }
    return !g_stop;
}

}  // namespace quorvel::tool
