// What libquorvel.so shares with its own desktop module (libquorvel-qt.so) and nobody else:
// a class or function marked so is exported, under the private version node of the library's
// linker script, so that the module uses the library's toolkit instead of a copy of its own.
// Hosts never see it in a header.
#pragma once

#define QUORVEL_PRIVATE_API __attribute__((visibility("default")))
