// The XML writer. (Being written.)
