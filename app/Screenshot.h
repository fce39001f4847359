// A hook for the documentation's screenshot: with VELMORA_SCREENSHOT_FILE
// set, the window searches for VELMORA_SCREENSHOT_QUERY (UTF-8), saves
// itself as a PNG there and quits. Without it nothing happens.
#pragma once

namespace velmora {

class TForm4;

void ScheduleScreenshot(TForm4& form);

}  // namespace velmora
