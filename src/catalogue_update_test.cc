#include "catalogue_update.h"
