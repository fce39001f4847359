// A dictionary file that reaches up to the window and into the tests.
#include "app/Dict.h"
#include "tests/dict/TempDir.h"
