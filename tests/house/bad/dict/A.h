// Two headers that include each other: a circle.
#pragma once
#include "dict/B.h"
