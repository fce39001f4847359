#include "app/Window.h"

#include "app/Panel.h"
