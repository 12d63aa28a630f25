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
// The caches of every class that now inherits through the poser are
// refreshed in the same step, under the runtime lock; no other class's
// look-ups change, so the cost follows the replaced class's family and not
// the number of classes in the process.
void class_poseAs(Class poser, Class replaced) {
  if (poser == nullptr || replaced == nullptr) fatal("cannot pose with a nil class");
  if (poser->superclass != replaced)
    fatal("%s cannot pose as %s: it is not a direct subclass of it", poser->name, replaced->name);
  if (poser->instance_size != replaced->instance_size)
    fatal("%s cannot pose as %s: it adds instance variables (%u bytes against %u)", poser->name,
          replaced->name, poser->instance_size, replaced->instance_size);

  std::lock_guard guard(runtime_lock());
  std::vector<Class> moved;
  std::erase_if(replaced->rt->subclasses, [&](Class cls) {
    if (cls == poser) return false;
    cls->superclass = poser;
    cls->isa->superclass = poser->isa;
    moved.push_back(cls);
    return true;
  });
  poser->rt->subclasses.insert(poser->rt->subclasses.end(), moved.begin(), moved.end());
  // Every name that yields the replaced class, its own and those of the
  // classes it posed as earlier, now yields the poser. Those names share
  // one record, which the poser takes over: one step however many names
  // it holds, and no look-up of every class's name.
  table_hand_over(replaced, poser);
  refresh_family_caches(std::move(moved));
}
