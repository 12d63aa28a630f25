// Posing: one class takes another's place for the whole process.
#include "runtime_internal.h"

using namespace objc::rt;

// After posing, the replaced class's name yields the poser, so objects
// created through the name are the poser's. Every other class whose
// superclass was the replaced class, metaclass included, now inherits
// through the poser, and so does any class registered later that names the
// replaced class, because superclasses are resolved by name. Existing
// objects keep their class, and the poser keeps the replaced class as its
// superclass, so its super sends reach the replaced class's methods.
// Every cache is flushed in the same step, under the runtime lock.
void class_poseAs(Class poser, Class replaced) {
  if (poser == nullptr || replaced == nullptr) fatal("cannot pose with a nil class");
  if (poser->superclass != replaced)
    fatal("%s cannot pose as %s: it is not a direct subclass of it", poser->name, replaced->name);
  if (poser->instance_size != replaced->instance_size)
    fatal("%s cannot pose as %s: it adds instance variables (%u bytes against %u)", poser->name,
          replaced->name, poser->instance_size, replaced->instance_size);

  std::lock_guard guard(runtime_lock());
  for (Class cls : all_classes()) {
    if (cls == poser || cls->superclass != replaced) continue;
    cls->superclass = poser;
    cls->isa->superclass = poser->isa;
  }
  // Every name that yields the replaced class, its own and those of
  // earlier posers it stands for, now yields the poser.
  for (Class cls : all_classes())
    if (cls != poser && table_find(cls->name) == replaced) table_set(cls->name, poser);
  flush_all_caches();
}
