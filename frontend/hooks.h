// Wiring of the search's calls upward (search/hooks.h) to the front end and
// the endgame tables.
#pragma once

// Installs the input poll, the test-suite check and the table probe with its
// statistics. Start-up calls it before the first search.
void install_search_hooks();
