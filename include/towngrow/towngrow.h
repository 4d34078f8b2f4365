// Everything public of the towngrow library.
#pragma once

#include "towngrow/platform/framework.h"
#include "towngrow/platform/messages.h"
#include "towngrow/platform/random.h"
#include "towngrow/version.h"

#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"

#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/house.h"
#include "towngrow/landuse/industry.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/others_land.h"
#include "towngrow/landuse/set_tools.h"
#include "towngrow/landuse/street_node.h"
#include "towngrow/landuse/street_vertex.h"

#include "towngrow/formats/file_error.h"

#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"
#include "towngrow/compare.h"
#include "towngrow/ensemble.h"
#include "towngrow/scenario.h"
#include "towngrow/simulation.h"
