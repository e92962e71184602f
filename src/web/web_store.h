// The settings store of the page: the user-defaults store
// (store/user_defaults.h, the same interface and code as on the desktop)
// kept in the browser's local storage, all of it under one key.
//
// The store works on its file as everywhere, here in the page's memory file
// system. WebStoreOpen puts the saved copy there before the store's first
// use and hooks the store's file operations: the rename that completes a save
// also publishes the whole file under the key in one setItem, the single
// atomic step local storage offers, so a page closed during a save keeps
// the old or the new settings, never a mix. When that publishing fails
// (storage full or forbidden) the rename reports the failure, so the save
// does too. A store the desktop code moves aside as damaged is kept under
// "<key>.damaged-<time>" and the key removed, the same way.
//
// Called once by the page's main before the app starts.
#pragma once

// `key`: the local-storage key; `file`: where the store's file lives in the
// memory file system (its folder is made). False, with a message, when the
// saved copy could not be put there (the store then starts empty).
bool WebStoreOpen(const char* key, const char* file);
