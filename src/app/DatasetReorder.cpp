#include "app/DatasetReorder.h"

namespace Quorvex3 {

int indexAfterDatasetMove(int index, int from, int destination) {
    if (index < 0)
        return index;
    if (index == from)
        return destination;
    int moved = index > from ? index - 1 : index;
    if (moved >= destination)
        ++moved;
    return moved;
}

int datasetMoveDestination(int from, int to, int count) {
    if (from < 0 || from >= count || to < 0 || to > count)
        return -1;
    // Removing the row first shifts every later insertion position up by one.
    const int destination = from < to ? to - 1 : to;
    return destination == from ? -1 : destination;
}

} // namespace Quorvex3
