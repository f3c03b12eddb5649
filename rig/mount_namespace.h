#pragma once

// A private view of the file system for one program and its rig: mounts made here are
// seen by this process and the children it starts afterwards, never by the host.

#include <string>

// Moves this process into a mount namespace of its own: directly as root, or inside a
// new user namespace (mapping the caller to root in it) where the kernel allows that.
// False with the reason in error when neither works.
bool enterPrivateMountNamespace(std::string& error);

// Mounts an empty tmpfs over /dev/shm, so that shared-memory objects made from now on
// belong to this namespace alone.
bool mountPrivateShm(std::string& error);

// Makes target show source (a file or device node) by a bind mount, in this namespace
// only. When the target does not exist (a host without that serial port), its
// directory is first replaced here by a tmpfs showing all it held, and the target is
// made in that. Nothing changes on the host.
bool bindOver(const std::string& source, const std::string& target, std::string& error);
