// The attribute library.
#pragma once

#include "tabo-attributes.h"
