// The classes that the pin panel's layout names: the framework's own and the library's.
#pragma once

#include "framework/layout_classes.h"

void RegisterPinscopeClasses(fw::ClassRegistry& classes);
