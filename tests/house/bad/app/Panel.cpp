// Two modules of one folder that include each other: a circle.
#include "app/Panel.h"

#include "app/Window.h"
