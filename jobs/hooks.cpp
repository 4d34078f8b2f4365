#include "jobs/hooks.h"

namespace towngrow::jobs {

Processes& ThisProcessAlone() {
  static Processes alone;
  return alone;
}

}  // namespace towngrow::jobs
