#pragma once
// A shared piece that reaches up into a window folder: the layer check must
// name this include.
#include <QString>
#include "text/cp932.h"
#include "roster/window.h"
