// gnome-chess's xboard dialogue with the engines.conf entry the README gives.
// gnome-chess sends no clock ("xboard", "random", its level's option lines,
// then "force", the moves, "go") and ends the game when a move takes more
// than 30 seconds; the README's entry sends a time per move with every
// level, so that the engine's own clock rules never plan past that patience.
// The lines are read from the README itself, so the recipe and this check
// cannot drift apart. The move must come within 20 s: 10 s of margin either
// side of the longest level's time. Run alone with the clock-judged games;
// sanitized builds judge no clock.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tools/helpers/engine_process.h"

namespace {

const int MOVE_DEADLINE_MS = 20000;

// The option lines of each level of the README's "[Quarvel]" entry, by
// level name, in the order of their numbers.
std::map<std::string, std::vector<std::string>> readme_level_lines()
{
    std::ifstream readme(std::string(QUARVEL_DATA_DIR) + "/../README.md");
    std::map<std::string, std::map<int, std::string>> numbered;
    std::string line;
    bool inside = false;
    while (std::getline(readme, line)) {
        const size_t start = line.find_first_not_of(' ');
        const std::string text = start == std::string::npos ? "" : line.substr(start);
        if (text == "[Quarvel]")
            inside = true;
        else if (inside && (text.empty() || text[0] == '['))
            break;
        else if (inside && text.rfind("option-", 0) == 0) {
            // option-LEVEL-N=LINE
            const size_t dash = text.find('-', 7), equals = text.find('=');
            if (dash == std::string::npos || equals == std::string::npos || dash > equals)
                continue;
            numbered[text.substr(7, dash - 7)][std::stoi(text.substr(dash + 1))] =
                text.substr(equals + 1);
        }
    }
    std::map<std::string, std::vector<std::string>> levels;
    for (const auto& [level, lines] : numbered)
        for (const auto& [number, text] : lines)
            levels[level].push_back(text);
    return levels;
}

TEST(GnomeChessDialogue, EveryLevelMovesWellWithinThePatience)
{
    const auto levels = readme_level_lines();
    ASSERT_EQ(levels.size(), 3u) << "the README's [Quarvel] entry lost its levels";
    // The best move keeps changing here, so the engine's own rules would take
    // up to six times their target: 45 s without a time per move.
    const std::string fen = "r1bq1rk1/ppp2ppp/2n2n2/2pN4/2P5/4P3/PP3PBP/R1BQ1RK1 w - - 2 12";
    for (const char* level : {"easy", "normal", "hard"}) {
        SCOPED_TRACE(level);
        ASSERT_EQ(levels.count(level), 1u);
        const auto& lines = levels.at(level);
        bool timed = false;
        for (const auto& text : lines)
            timed = timed || text.rfind("st ", 0) == 0;
        EXPECT_TRUE(timed) << "no time per move in the README's lines for this level";

        EngineProcess engine;
        ASSERT_TRUE(start_quarvel(&engine));
        std::vector<std::string> sent = {"xboard", "random"};
        sent.insert(sent.end(), lines.begin(), lines.end());
        sent.insert(sent.end(), {"force", "setboard " + fen});
        for (const auto& text : sent)
            ASSERT_TRUE(process_send(&engine, text));
        const size_t before_go = engine.lines.size();
        ASSERT_TRUE(process_send(&engine, "go"));
        std::string move;
        EXPECT_TRUE(
            process_expect_prefix(&engine, "move ", scaled_timeout(MOVE_DEADLINE_MS), &move))
            << process_transcript(&engine, before_go);
        process_close_input(&engine);
        EXPECT_EQ(process_wait_exit(&engine, scaled_timeout(10000)), 0);
    }
}

} // namespace
