// The two directions of the QORDA-8 that the panel controls. Their values index every
// pair of controls and every per-direction record: 0 is the input, 1 the output.
#pragma once

namespace volume {

enum class Direction { input = 0, output = 1 };

}  // namespace volume
