// A header of the lowest layer that wrongly uses one above it.
#pragma once
#include "model/high.h"
