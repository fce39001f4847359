#include "platform/classes/Application.h"

namespace velmora {

TApplication& Application() {
  static TApplication app;
  return app;
}

}  // namespace velmora
