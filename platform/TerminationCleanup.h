#pragma once

#include <csignal>
#include <string>

namespace talvo {

// Holds SIGTERM and SIGINT back while it lives, so that a file can be created and handed to a
// RemoveOnTermination without a gap in which a signal would leave it behind.
class TerminationSignalsHeld {
  public:
    TerminationSignalsHeld();
    ~TerminationSignalsHeld();
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

  private:
    sigset_t previous_{};
};

// While it lives, SIGTERM or SIGINT first remove the file at path and then take their usual
// course (by default ending the process). Signals that are ignored stay ignored. One file per
// process is covered at a time: a guard made while another lives covers nothing.
class RemoveOnTermination {
  public:
    explicit RemoveOnTermination(const std::string& path);
    ~RemoveOnTermination();
    RemoveOnTermination(const RemoveOnTermination&) = delete;
    RemoveOnTermination& operator=(const RemoveOnTermination&) = delete;

  private:
    bool covers_ = false;
};

} // namespace talvo
