#pragma once

namespace tessor::plugin {

// Makes GraphicsMagick ready for use and keeps it mapped for the rest of the process: its
// static state must not go away with a plugin that the program closes after every picture.
// Safe to call any number of times.
void startGraphicsMagick();

}  // namespace tessor::plugin
