#include "policy/drive_mapping.h"

namespace sentrel {

DriveMapping WhereDriveMaps(char) { return {}; }

}  // namespace sentrel
