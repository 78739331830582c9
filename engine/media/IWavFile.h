// The WAVFILE component's interface, under its module name.
#pragma once

#include "engine/media/IWavWriter.h"
