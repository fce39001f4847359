#include "gif/Frames.h"

#include "gif/Image.h"
