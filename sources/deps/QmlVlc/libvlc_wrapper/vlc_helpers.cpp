#include "vlc_helpers.h"
