#pragma once
#include "dict/A.h"
