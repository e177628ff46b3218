// The four commands of the command-line flasher. Each returns its exit status; results go to
// the standard output, everything else to the standard error.
#pragma once

#include "app/console/drive_source.h"
#include "app/console/options.h"
#include "platform/console.h"
#include "platform/files.h"

namespace console {

struct Context {
    const Options& options;
    platform::Console& console;
    platform::FileSystem& files;
};

// Every device the source shows, each with its identification as the flasher's drive list
// shows it, the supported ones marked; those that did not open with the reason.
Exit scan(Context& context, DriveSource& drives);
// What a flasher or template file holds.
Exit info(Context& context);
// The flash procedure on the drive named or the one supported drive.
Exit flash(Context& context, DriveSource& drives);
// The builder's build.
Exit build(Context& context);

} // namespace console
