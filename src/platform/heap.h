// Handing freed heap memory back to the system after a settings change.
//
// A reload frees tens of megabytes (decoded pictures, scenes, voices, the
// driver's texture storage) between blocks that stay; without handing the
// free pages back, resident memory creeps up from one change to the next.
// The scene reload calls HeapHandBackFreePages once it is done.
#pragma once

// Returns the heap's free pages to the system. The heap is first marked for
// large pages, so the next reload takes the pages back in a few faults of
// 2 MB rather than thousands of 4 KB ones (each fault is dear in a virtual
// machine); where large pages are off or unknown only the return happens.
void HeapHandBackFreePages();
