#pragma once

// POSIX only.

namespace velmora {

// Gives the file open as to the access of the file open as from: its owner where this process
// may give files away, else its group where this process belongs to that group; its permission
// bits; its access ACL; and the other extended attributes that the file system lets us copy.
// False, with errno set, when the permission bits or the ACL cannot be given.
bool copyAccess(int from, int to);

} // namespace velmora
