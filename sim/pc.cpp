#include "sim/pc.h"

namespace sim {

Pc::Pc() : platform_{&files, &process, &windows, &time} {}

}  // namespace sim
