// Whether a network exchange may ask the user through the platform's Internet
// error and proxy-credentials dialog. A silent install (/s) never opens one.
#pragma once

namespace kova {

enum class NetworkDialogs { kAllowed, kNever };

}  // namespace kova
