// Input during a search, seen from outside: the whole engine driven through
// pipes, as an interface drives it.
#include <gtest/gtest.h>

#include <string>

#include "tests/helpers/engine_process.h"

namespace {

TEST(InputProcess, IsreadyIsAnsweredAtOnceAndTheSearchGoesOn)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    process_send(&engine, "uci");
    ASSERT_TRUE(process_expect_line(&engine, "uciok", scaled_timeout(5000)));
    process_send(&engine, "position startpos");
    process_send(&engine, "go infinite");
    ASSERT_TRUE(process_expect_prefix(&engine, "info", scaled_timeout(5000)));
    process_send(&engine, "isready");
    ASSERT_TRUE(process_expect_line(&engine, "readyok", scaled_timeout(5000)))
        << process_transcript(&engine);
    // Still searching: nothing but information has been sent.
    for (const std::string& l : engine.lines)
        ASSERT_NE(l.rfind("bestmove", 0), 0u) << "search ended by isready:\n" << process_transcript(&engine);
    process_send(&engine, "stop");
    ASSERT_TRUE(process_expect_prefix(&engine, "bestmove ", scaled_timeout(5000)));
    process_close_input(&engine);
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(5000)), 0);
}

TEST(InputProcess, ServedLinesDuringAnXboardSearchAndPingAfterTheMove)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    process_send(&engine, "xboard");
    process_send(&engine, "protover 2");
    ASSERT_TRUE(process_expect_line(&engine, "feature done=1", scaled_timeout(5000)));
    process_send(&engine, "new");
    process_send(&engine, "st 60");
    process_send(&engine, "post");
    process_send(&engine, "go");
    // A thinking line ("depth score time nodes pv") shows the search runs;
    // "." is answered without stopping it.
    std::string line;
    do {
        ASSERT_TRUE(process_next_line(&engine, scaled_timeout(10000), &line)) << process_transcript(&engine);
    } while (line.empty() || line[0] < '1' || line[0] > '9');
    process_send(&engine, ".");
    std::string stat;
    ASSERT_TRUE(process_expect_prefix(&engine, "stat01: ", scaled_timeout(5000), &stat)) << process_transcript(&engine);
    for (const std::string& l : engine.lines)
        ASSERT_NE(l.rfind("move ", 0), 0u) << "the status request stopped the search";
    // A ping during the engine's own search stops it; the move comes first.
    process_send(&engine, "ping 5");
    std::string move;
    ASSERT_TRUE(process_expect_prefix(&engine, "move ", scaled_timeout(10000), &move)) << process_transcript(&engine);
    ASSERT_TRUE(process_expect_line(&engine, "pong 5", scaled_timeout(5000))) << process_transcript(&engine);
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(5000)), 0);
}

TEST(InputProcess, EndOfInputDuringASearchEndsTheProgramInOrderAfterTheMove)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    process_send(&engine, "xboard");
    process_send(&engine, "new");
    process_send(&engine, "st 600");   // ten minutes: only the end of input can end it soon
    process_send(&engine, "go");
    process_close_input(&engine);
    ASSERT_TRUE(process_expect_prefix(&engine, "move ", scaled_timeout(20000))) << process_transcript(&engine);
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(20000)), 0);
}

TEST(InputProcess, OverlongLineIsDroppedWholeAndTheNextLineServed)
{
    EngineProcess engine;
    ASSERT_TRUE(start_quarvel(&engine));
    process_send(&engine, "xboard");
    process_send(&engine, "protover 2");
    ASSERT_TRUE(process_expect_line(&engine, "feature done=1", scaled_timeout(5000)));
    // The tail of a long "usermove" line must not come back as a move.
    process_send(&engine, "usermove e2e4 " + std::string(30000, ' ') + "e7e5");
    process_send(&engine, "ping 1");
    ASSERT_TRUE(process_expect_line(&engine, "pong 1", scaled_timeout(5000))) << process_transcript(&engine);
    for (const std::string& l : engine.lines)
        EXPECT_EQ(l.find("llegal"), std::string::npos) << l;
    process_send(&engine, "quit");
    EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(5000)), 0);
}

}  // namespace
