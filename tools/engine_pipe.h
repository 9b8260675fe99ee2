// Process plumbing shared by the referee programs: an engine is started from
// a command line and talks to its referee over two pipes.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// The words of text, split at blanks.
inline std::vector<std::string> split_blanks(const std::string& text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            i++;
        size_t j = i;
        while (j < text.size() && text[j] != ' ')
            j++;
        if (j > i)
            words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

// Starts command (program and arguments separated by blanks) with a pipe on
// its standard input and one on its standard output.
inline bool spawn_engine(const std::string& command, pid_t* pid, int* to_child, int* from_child)
{
    std::vector<std::string> words = split_blanks(command);
    if (words.empty())
        return false;
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0)
        return false;
    if (pipe(out_pipe) != 0) {
        close(in_pipe[0]);
        close(in_pipe[1]);
        return false;
    }
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        // The referee ignores SIGPIPE; the engine must get its own default back.
        signal(SIGPIPE, SIG_DFL);
        execvp(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    *pid = child;
    *to_child = in_pipe[1];
    *from_child = out_pipe[0];
    return true;
}
