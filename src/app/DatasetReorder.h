#pragma once

namespace Quorvex3 {

/// Where an index into the dataset list points after one dataset has been
/// taken out at `from` and inserted at `destination` (both indices into the
/// list as it is before and after the move, respectively). The moved
/// dataset's index becomes `destination`; every other index follows its own
/// dataset. Negative indices (meaning "none") are returned unchanged.
int indexAfterDatasetMove(int index, int from, int destination);

/// The insertion position `to` of a reorder request (counted before the
/// move, 0 to `count`) as the index the moved dataset takes after the move;
/// -1 when the request is out of range or would leave the order unchanged.
int datasetMoveDestination(int from, int to, int count);

} // namespace Quorvex3
