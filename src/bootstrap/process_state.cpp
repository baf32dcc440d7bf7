#include "bootstrap/process_state.h"

namespace kova {

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace kova
