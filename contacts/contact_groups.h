#pragma once

#include "contacts/contact_mask.h"

struct RecognitionContext;

// 1 when one group of the current packet holds every pad of mask, else 0.
int hasContactGroup(const RecognitionContext& context, ContactMask mask);

// Prints one line per group of the current packet: the labels of its pads.
void printConnections(const RecognitionContext& context);

// The finger-connections mode's cycle: poll the glove, read a packet, print its groups.
void runFingerConnectionsCycle(RecognitionContext& context);
