#include "sim/I2cTarget.h"

CI2cTarget::~CI2cTarget() = default;
