#include "framework/exception.h"

namespace fw {

EListError::EListError(int index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

}  // namespace fw
