// A child program driven through pipes, for whole-process tests: start it,
// write lines to its standard input, wait (with a deadline, never a blind
// sleep) for an expected line on its standard output, close its input and
// collect its exit code.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

struct EngineProcess {
    pid_t pid = -1;
    int to_child = -1;                 // child's standard input
    int from_child = -1;               // child's standard output
    int err_from_child = -1;           // child's standard error
    std::string partial;               // stdout bytes after the last line break
    std::vector<std::string> lines;    // every complete stdout line, without "\n"
    size_t cursor = 0;                 // lines before this were consumed by expects
    std::string err_text;              // everything written on stderr
    bool out_closed = false;
    bool exited = false;
    int exit_code = -1;                // exit status, or 128 + signal

    EngineProcess() = default;
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;
    // A test that fails half-way must not leave an engine running.
    ~EngineProcess();
};

// Path of the engine built beside the tests.
std::string quarvel_path();

// Starts build/quarvel with `args` in the system temporary directory, with a
// configuration file name that does not exist and the opening book off (-o),
// so that no stray quarvel.cfg or quarvel.bok of the test machine changes
// what the engine does.
bool start_quarvel(EngineProcess* proc, const std::vector<std::string>& args = {});

// Starts `program` with `args` (argv[1..]) in directory `cwd` (empty: the
// current one). Extra environment entries are "NAME=value" ("NAME=" unsets
// nothing; use unset_env for that). Returns false when the program could not
// be started.
bool process_start(EngineProcess* proc, const std::string& program,
                   const std::vector<std::string>& args, const std::string& cwd = "",
                   const std::vector<std::string>& extra_env = {},
                   const std::vector<std::string>& unset_env = {});

// Writes one line (a "\n" is added). Returns false when the child's input is
// closed.
bool process_send(EngineProcess* proc, const std::string& line);

// Closes the child's standard input (end of input for the engine).
void process_close_input(EngineProcess* proc);

// Waits until a line not yet consumed satisfies the test: equal to `text`,
// starting with it, or containing it. Lines before the match and the match
// itself are consumed. Returns false on timeout or when the output closed
// first; *matched receives the line.
bool process_expect_line(EngineProcess* proc, const std::string& text, int timeout_ms,
                         std::string* matched = nullptr);
bool process_expect_prefix(EngineProcess* proc, const std::string& prefix, int timeout_ms,
                           std::string* matched = nullptr);
bool process_expect_substring(EngineProcess* proc, const std::string& text, int timeout_ms,
                              std::string* matched = nullptr);

// Reads the next unconsumed line, waiting up to timeout_ms for it.
bool process_next_line(EngineProcess* proc, int timeout_ms, std::string* line);

// Reads everything until the child's output closes (or the timeout).
// Returns true when the output closed.
bool process_read_to_end(EngineProcess* proc, int timeout_ms);

// Waits for the child to exit; returns its exit code, or -1 on timeout (the
// child is then killed).
int process_wait_exit(EngineProcess* proc, int timeout_ms);

// Kills the child if it still runs and releases the pipes.
void process_kill(EngineProcess* proc);

// Lines consumed or not, from `from` on, joined with "\n" (for messages).
std::string process_transcript(const EngineProcess* proc, size_t from = 0);

// Scales a timeout for slow builds (sanitizers make the engine several times
// slower).
int scaled_timeout(int ms);
