// only_thread for systems with a /proc file system: the entries of
// /proc/self/task are the process's threads. Elsewhere it cannot tell and
// answers false.
#include <dirent.h>

#include "threads.h"

namespace objc::os {

bool only_thread() {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return false;
  int threads = 0;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++threads;
  closedir(dir);
  return threads == 1;
}

}  // namespace objc::os
