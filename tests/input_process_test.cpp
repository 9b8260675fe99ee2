// Input during a search, seen from outside: the whole engine driven through
// pipes, as an interface drives it.
#include <gtest/gtest.h>

#include <string>

#include "tools/helpers/engine_process.h"

namespace {

// Starts the engine and sends the lines; for xboard, waits for the features.
void start(EngineProcess* engine, std::initializer_list<std::string> lines,
           const char* wait_for = nullptr)
{
    ASSERT_TRUE(start_quarvel(engine));
    for (const std::string& line : lines)
        process_send(engine, line);
    if (wait_for != nullptr) {
        ASSERT_TRUE(process_expect_line(engine, wait_for, scaled_timeout(5000)))
            << process_transcript(engine);
    }
}

void expect_no_line_starting(const EngineProcess& engine, const std::string& prefix,
                             const char* why)
{
    for (const std::string& l : engine.lines)
        ASSERT_NE(l.rfind(prefix, 0), 0u) << why << "\n" << process_transcript(&engine);
}

TEST(InputProcess, IsreadyIsAnsweredAtOnceAndTheSearchGoesOn)
{
    EngineProcess engine;
    ASSERT_NO_FATAL_FAILURE(start(&engine, {"uci"}, "uciok"));
    process_send(&engine, "position startpos");
    process_send(&engine, "go infinite");
    ASSERT_TRUE(process_expect_prefix(&engine, "info", scaled_timeout(5000)));
    process_send(&engine, "isready");
    ASSERT_TRUE(process_expect_line(&engine, "readyok", scaled_timeout(5000)))
        << process_transcript(&engine);
    expect_no_line_starting(engine, "bestmove", "search ended by isready");
    process_send(&engine, "stop");
    ASSERT_TRUE(process_expect_prefix(&engine, "bestmove ", scaled_timeout(5000)));
    process_close_input(&engine);
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(5000)), 0);
}

TEST(InputProcess, OverlongLineDroppedServedLinesDuringAnXboardSearchPingAfterTheMove)
{
    EngineProcess engine;
    ASSERT_NO_FATAL_FAILURE(start(&engine, {"xboard", "protover 2"}, "feature done=1"));
    // The tail of a long "usermove" line must not come back as a move.
    process_send(&engine, "usermove e2e4 " + std::string(30000, ' ') + "e7e5");
    process_send(&engine, "ping 1");
    ASSERT_TRUE(process_expect_line(&engine, "pong 1", scaled_timeout(5000)))
        << process_transcript(&engine);
    for (const std::string& l : engine.lines)
        EXPECT_EQ(l.find("llegal"), std::string::npos) << l;
    for (const char* line : {"new", "st 60", "post", "go"})
        process_send(&engine, line);
    // A thinking line shows the search runs; "." is answered without stopping it.
    std::string line;
    do {
        ASSERT_TRUE(process_next_line(&engine, scaled_timeout(10000), &line))
            << process_transcript(&engine);
    } while (line.empty() || line[0] < '1' || line[0] > '9');
    process_send(&engine, ".");
    ASSERT_TRUE(process_expect_prefix(&engine, "stat01: ", scaled_timeout(5000)))
        << process_transcript(&engine);
    expect_no_line_starting(engine, "move ", "the status request stopped the search");
    // A ping during the engine's own search stops it; the move comes first.
    process_send(&engine, "ping 5");
    ASSERT_TRUE(process_expect_prefix(&engine, "move ", scaled_timeout(10000)))
        << process_transcript(&engine);
    ASSERT_TRUE(process_expect_line(&engine, "pong 5", scaled_timeout(5000)))
        << process_transcript(&engine);
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(5000)), 0);
}

TEST(InputProcess, EndOfInputDuringASearchEndsTheProgramInOrderAfterTheMove)
{
    EngineProcess engine;
    // Ten minutes to think: only the end of input can end it soon.
    ASSERT_NO_FATAL_FAILURE(start(&engine, {"xboard", "new", "st 600", "go"}));
    process_close_input(&engine);
    ASSERT_TRUE(process_expect_prefix(&engine, "move ", scaled_timeout(20000)))
        << process_transcript(&engine);
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(20000)), 0);
}

} // namespace
