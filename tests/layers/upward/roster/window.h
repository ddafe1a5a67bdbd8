#pragma once
// A window that includes downwards only: the layer check accepts it.
#include "ui/shared.h"
