#pragma once

// For tests and fuzzing of the streamed script: a recording's events handed out in time
// order, up to one moment after another, as the recorder takes them during a session.

#include "record/recording.h"

struct RecordingSlices {
  const Recording& recording;
  size_t glove = 0, requests = 0, replies = 0, keys = 0;

  // The events before the moment not handed out yet.
  Recording before(int64_t moment) {
    Recording part;
    const Recording& all = recording;
    for (; glove < all.glove.size() && all.glove[glove].atMicros < moment; ++glove) part.glove.push_back(all.glove[glove]);
    for (; requests < all.requests.size() && all.requests[requests] < moment; ++requests)
      part.requests.push_back(all.requests[requests]);
    for (; replies < all.replies.size() && all.replies[replies].atMicros < moment; ++replies)
      part.replies.push_back(all.replies[replies]);
    for (; keys < all.keys.size() && all.keys[keys] < moment; ++keys) part.keys.push_back(all.keys[keys]);
    return part;
  }
};
