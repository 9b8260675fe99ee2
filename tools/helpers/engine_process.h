// A child program driven through pipes, for whole-process tests and the
// referees: start it, write lines to its standard input, wait (with a
// deadline, never a blind sleep) for an expected line on its standard output,
// collect its exit code.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct EngineProcess {
    pid_t pid = -1;
    int to_child = -1, from_child = -1, err_from_child = -1; // stdin, stdout, stderr
    std::string partial;            // stdout bytes after the last line break
    std::vector<std::string> lines; // every complete stdout line, without "\n"
    size_t cursor = 0;              // lines before this were consumed by expects
    std::string err_text;           // everything written on stderr
    bool out_closed = false;
    bool exited = false;
    int exit_code = -1; // exit status, or 128 + signal

    EngineProcess() = default;
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;
    ~EngineProcess(); // a failed test must not leave a child running
};

std::string quarvel_path(); // the engine built beside the tests, or $QUARVEL_ENGINE

// Starts the engine with `args` in the temporary directory, with a missing
// configuration file and the book off (-o): no stray file changes it.
bool start_quarvel(EngineProcess* proc, const std::vector<std::string>& args = {});

// Starts `program` in `cwd` (empty: the current one) with extra environment
// entries "NAME=value". False: not started.
bool process_start(EngineProcess* proc, const std::string& program,
                   const std::vector<std::string>& args, const std::string& cwd = "",
                   const std::vector<std::string>& extra_env = {});

// The words of text, split at blanks.
std::vector<std::string> split_blanks(const std::string& text);
// For the referees, which read the pipes themselves: starts `command`
// (program and arguments separated by blanks) with a pipe on its standard
// input and one on its standard output; standard error stays the caller's.
bool spawn_engine(const std::string& command, pid_t* pid, int* to_child, int* from_child);

bool process_send(EngineProcess* proc, const std::string& line); // "\n" added
void process_close_input(EngineProcess* proc);

// Waits for an unconsumed line equal to `text` / starting with it /
// containing it; it and the lines before it are consumed. False on timeout
// or end of output.
bool process_expect_line(EngineProcess* proc, const std::string& text, int timeout_ms,
                         std::string* matched = nullptr);
bool process_expect_prefix(EngineProcess* proc, const std::string& prefix, int timeout_ms,
                           std::string* matched = nullptr);
bool process_expect_substring(EngineProcess* proc, const std::string& text, int timeout_ms,
                              std::string* matched = nullptr);
bool process_next_line(EngineProcess* proc, int timeout_ms, std::string* line);
// Waits until the output's unfinished last line is `text`: a prompt, which
// the program writes just before it blocks to read.
bool process_expect_prompt(EngineProcess* proc, const std::string& text, int timeout_ms);

// Reads until the output closes; true when it did within the timeout.
bool process_read_to_end(EngineProcess* proc, int timeout_ms);
// The exit code, or -1 on timeout (the child is then killed).
int process_wait_exit(EngineProcess* proc, int timeout_ms);
void process_kill(EngineProcess* proc);
// Lines from `from` on, for failure messages.
std::string process_transcript(const EngineProcess* proc, size_t from = 0);

// Timeouts grow fivefold under the sanitizers.
int scaled_timeout(int ms);
bool sanitized_build();
// The referees' lag allowance, as their -l argument: 100 ms a move for the
// scheduling delays of a loaded machine. Sanitized games run in the parallel
// suite and judge no clock, so there it exceeds any thinking time.
std::string game_lag_allowance();
std::string read_text_file(const std::string& name);

// A scripted dialogue. Steps:
//   "> L" send L              "= L" wait for the line L
//   "- L" the next line is L  "^ P" / "~ S" wait for a line starting with P / containing S
//   "@ L" the first new line with L's head (up to its first ": ", else its
//         first blank) is L
//   "|" mark this point       "x P" no line since the mark starts with P
//   "!" send SIGINT           "$" end the input: no further line may follow
//   "? P" wait for the prompt P: the next line sent meets the blocking read
// After the steps the input ends; the exit code must be `exit_code` and
// stderr must contain `err`.
struct Dialogue {
    std::string name;
    std::vector<std::string> args;
    std::vector<std::string> steps;
    int exit_code = 0;
    std::string err;
    Dialogue(std::string n, std::vector<std::string> a, std::vector<std::string> s, int code = 0,
             std::string e = "")
        : name(std::move(n)), args(std::move(a)), steps(std::move(s)), exit_code(code),
          err(std::move(e))
    {
    }
};

// Handles a step of its own kind (returns true, *error set on failure).
using StepHook = std::function<bool(EngineProcess*, const std::string& step, std::string* error)>;

// The parts' steps one after the other.
std::vector<std::string> steps_of(std::initializer_list<std::vector<std::string>> parts);
// Runs one step; returns "" or what went wrong.
std::string process_step(EngineProcess* proc, const std::string& step, int timeout_ms,
                         size_t* mark);
// Runs a whole dialogue on a fresh start_quarvel; "" or what went wrong, with
// the transcript.
std::string run_dialogue(const Dialogue& d, int timeout_ms, const StepHook& hook = nullptr);
