// The module start-up glue linked into every module that holds records:
// the attach handler.
//
// A module's start-up, on every platform, in this order:
//
// 1. Records queued. The module's static-constructor table hands each
//    unit's record to the runtime (OBJC_MODULE_RECORD in objc/module.h),
//    unit by unit in link order. The runtime only queues them.
// 2. Attach. Once the table has run, the module's attach entry calls
//    attach_module: on POSIX an unprioritised constructor, which runs after
//    the prioritised ones of step 1; on Windows the DLL's attach
//    notification, which the C run-time start-up sends after running the
//    table, or for a program a constructor, which that start-up runs after
//    the table (module_attach_posix.cc, module_attach_win32.cc).
// 3. Registration. attach_module reads the module's path and calls
//    objc_register_header, which registers every queued record with the
//    module's path.
// 4. Load. attach_module calls objc_finish_header, which sends load to
//    each class and category of the module that defines it, now that all
//    of them are registered (objc_loadModule sends them itself once the
//    platform loader has returned).
//
// The records (method tables, class and category records, constant
// strings) are constant-initialised, so they are complete before any code
// of the module runs: registration never waits for the module's dynamic
// initialisers, and where these objects sit in the link does not matter.
// A load method must not rely on the module's dynamic initialisers either.
#pragma once

namespace startup {

// Registers the module that contains `anchor` with the runtime (steps 3
// and 4): reads the module's path into a 260-unit buffer (bytes on POSIX; wide characters on
// Windows, handed on as UTF-8), calls objc_register_header with it
// and objc_finish_header, each looked up by name in the loaded runtime
// library; one that is not found is skipped, with a message on stderr
// naming it. Returns false, registering nothing, when the path cannot be
// read or does not fit; objc_drop_header then drops the records the module
// queued.
bool attach_module(const void* anchor);

inline constexpr unsigned long kPathBufferSize = 260;

}  // namespace startup
