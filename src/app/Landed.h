#pragma once
// Which neighbouring subsystems this tree already holds. The start-up module reaches the database,
// the bus and the logger image through single call sites guarded by these, so that the frame
// builds and runs (without them) while those subsystems are still being written.
#if __has_include("onewire/clsDallasBus.h")
#define NORDALIS_HAVE_BUS 1
#endif
#if __has_include("image/clsDS1921Data.h")
#define NORDALIS_HAVE_IMAGE 1
#endif
