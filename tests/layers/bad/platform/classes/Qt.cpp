// The class library may not use Qt.
#include <QString>

#include "platform/classes/Classes.h"
