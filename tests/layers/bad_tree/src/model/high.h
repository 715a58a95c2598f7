// A header of the upper layer.
#pragma once
#include "base/low.h"
