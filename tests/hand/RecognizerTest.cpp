#include <gtest/gtest.h>

#include "hand/Recognizer.h"
