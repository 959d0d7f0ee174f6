// Memory a program frees goes back to the system only where it ends the heap;
// the rest stays counted against the process. After a large library's
// tables and listings are let go, that is most of what they held.
#pragma once

namespace lumenfolio {

class FreedMemory {
 public:
  // Gives the system back every whole page of free memory, in each thread's
  // heap. Takes a few milliseconds; nothing else changes.
  static void giveBack();
};

}  // namespace lumenfolio
