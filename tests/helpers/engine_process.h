// The child-process helper lives with the tools, which drive engines too.
#pragma once

#include "tools/helpers/engine_process.h"
