// The UCI options: one row each. The "uci" reply announces them from the
// rows, in their order, and "setoption" finds its row by the option's name.
#pragma once

struct Position;

enum UciOptionType { UCI_SPIN, UCI_CHECK, UCI_STRING, UCI_BUTTON };

struct UciOption {
    const char* name;
    // A second spelling the option answers to; nullptr for none.
    const char* also;
    UciOptionType type;
    // As announced; nullptr for a button.
    const char* default_value;
    // The announced range of a spin (0 and 0 for the other types).
    int min, max;
    // Applies the value text (nullptr for a button); false when the value is
    // not one the option takes, which "setoption" answers with "Ignored:".
    bool (*set)(Position* pos, const UciOption& option, const char* value);
};

extern const UciOption UCI_OPTIONS[];
extern const int UCI_OPTION_COUNT;

// The "option name ..." lines of the "uci" reply, on standard output.
void print_uci_options();

// "setoption name <name words> [value <value words>]".
void uci_command_setoption(Position* pos, int token_count, const char* const* tokens);
