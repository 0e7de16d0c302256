#pragma once
#include <vector>
#include "isa/Describe.h"
