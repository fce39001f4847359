// Too long for a limit of three lines; its module and gif/Frames include
// each other, which is no fault in gif/.
#include "gif/Image.h"

#include "gif/Frames.h"
