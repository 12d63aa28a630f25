// The module start-up glue linked into every module that holds records:
// the attach handler. It runs after the static constructors have queued the
// module's records, and does what the target's start-up code does.
#pragma once

namespace startup {

// Registers the module that contains `anchor` with the runtime: reads the
// module's path into a 260-unit buffer (bytes on POSIX; wide characters on
// Windows, handed on as UTF-8), calls objc_register_header with it
// and objc_finish_header, each looked up by name in the loaded runtime
// library; one that is not found is skipped, with a message on stderr
// naming it. Returns false, registering nothing, when the path cannot be
// read or does not fit; objc_drop_header then drops the records the module
// queued.
bool attach_module(const void* anchor);

inline constexpr unsigned long kPathBufferSize = 260;

}  // namespace startup
