// The classes that the pin panel's layout names: the framework's own and the library's.
#pragma once

#include "framework/layout.h"

void RegisterPinscopeClasses(fw::ClassRegistry& classes);
