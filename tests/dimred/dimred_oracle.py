#!/usr/bin/python3
"""Independent reference values for the dimension-reduction tests, computed
with numpy, scipy, sklearn and h5py. Run with Debian's interpreter by the
tests themselves, as

    /usr/bin/python3 tests/dimred/dimred_oracle.py <mode> <input file> [args]

The input file holds "rows cols" on its first line, then one row of numbers
per line. Every output line is "<tag> <numbers...>".

modes
  scaling            median and MAD x 1.4826 per column (scipy), with the
                     sample standard deviation, then 1.0, as fallbacks
  pca                components and explained ratios of the robust-scaled
                     data: sklearn PCA (tags SKCOMP1/SKCOMP2/SKRATIO) and
                     numpy.linalg.eigh of Z^T Z / (n-1) about the median
                     (tags EIGVAL, EIGVEC1, EIGVEC2)
  eigh               eigenvalues and eigenvectors (columns) of a symmetric matrix
  kdtree K           K nearest other rows of every row (sklearn KDTree)
  dbscan EPS MINPTS [EPS MINPTS ...]
                     sklearn DBSCAN labels of the finite rows (-1 elsewhere),
                     one LABELS line per setting
  spectral           eigenvectors of D^-1/2 W D^-1/2 for the 2nd and 3rd
                     largest eigenvalues; the input is "n m" then m lines
                     "i j w" of undirected edges
  quality K          columns: label, then the embedding x, y, then the data;
                     prints kNN accuracy (leave-one-out, K neighbours) of the
                     embedding and sklearn's trustworthiness (K neighbours)
  layout             an HDF5 file: every dataset's dtype, shape, chunks,
                     compression and every root attribute's dtype
"""
import sys

import numpy as np


def load(path):
    with open(path) as f:
        rows, cols = (int(v) for v in f.readline().split())
        data = np.loadtxt(f, ndmin=2) if rows > 0 else np.zeros((0, cols))
    return data.reshape(rows, cols)


def emit(tag, values):
    print(tag, " ".join(repr(float(v)) for v in np.ravel(values)))


def robust(x):
    from scipy.stats import median_abs_deviation
    centre = np.median(x, axis=0)
    scale = median_abs_deviation(x, axis=0, scale=1.0) * 1.4826
    for j in range(x.shape[1]):
        if not scale[j] > 0:
            sd = np.std(x[:, j], ddof=1) if x.shape[0] > 1 else 0.0
            scale[j] = sd if sd > 0 else 1.0
    return centre, scale


def mode_scaling(x):
    centre, scale = robust(x)
    emit("CENTRE", centre)
    emit("SCALE", scale)


def mode_pca(x):
    from sklearn.decomposition import PCA
    centre, scale = robust(x)
    z = (x - centre) / scale
    pca = PCA(n_components=2, svd_solver="full").fit(z)
    emit("SKCOMP1", pca.components_[0])
    emit("SKCOMP2", pca.components_[1])
    emit("SKRATIO", pca.explained_variance_ratio_)
    c = z.T @ z / (x.shape[0] - 1)
    values, vectors = np.linalg.eigh(c)
    emit("EIGVAL", values[::-1] / np.trace(c))
    emit("EIGVEC1", vectors[:, -1])
    emit("EIGVEC2", vectors[:, -2])


def mode_eigh(x):
    values, vectors = np.linalg.eigh(x)
    emit("VALUES", values)
    for k in range(x.shape[0]):
        emit("VECTOR", vectors[:, k])


def mode_kdtree(x, k):
    from sklearn.neighbors import KDTree
    n = x.shape[0]
    dist, idx = KDTree(x).query(x, k=min(k + 1, n))
    for i in range(n):
        pairs = [(d, j) for d, j in zip(dist[i], idx[i]) if j != i][:k]
        emit("IDX", [j for _, j in pairs])
        emit("DIST", [d for d, _ in pairs])


def mode_dbscan(x, settings):
    from sklearn.cluster import DBSCAN
    finite = np.all(np.isfinite(x), axis=1)
    for eps, min_pts in settings:
        labels = np.full(x.shape[0], -1)
        if finite.any():
            labels[finite] = DBSCAN(eps=eps, min_samples=min_pts).fit(x[finite]).labels_
        emit("LABELS", labels)


def mode_spectral(path):
    with open(path) as f:
        n, m = (int(v) for v in f.readline().split())
        w = np.zeros((n, n))
        for _ in range(m):
            i, j, v = f.readline().split()
            i, j = int(i), int(j)
            w[i, j] += float(v)
            w[j, i] += float(v)
    dinv = 1.0 / np.sqrt(w.sum(axis=1))
    values, vectors = np.linalg.eigh(dinv[:, None] * w * dinv[None, :])
    emit("VALUES", values[::-1][:4])
    emit("VEC2", vectors[:, -2])
    emit("VEC3", vectors[:, -3])


def mode_quality(x, k):
    from sklearn.manifold import trustworthiness
    from sklearn.neighbors import NearestNeighbors
    labels = x[:, 0].astype(int)
    emb = x[:, 1:3]
    data = x[:, 3:]
    idx = NearestNeighbors(n_neighbors=k + 1).fit(emb).kneighbors(emb, return_distance=False)
    correct = 0
    for i in range(len(labels)):
        votes = np.bincount(labels[[j for j in idx[i] if j != i][:k]], minlength=labels.max() + 1)
        correct += int(np.argmax(votes) == labels[i])
    emit("KNNACC", [correct / len(labels)])
    emit("TRUST", [trustworthiness(data, emb, n_neighbors=k)])


def mode_layout(path):
    import h5py
    with h5py.File(path, "r") as f:
        for name, obj in sorted(f.items()):
            dt = obj.dtype
            kind = "str" if h5py.check_string_dtype(dt) is not None else dt.str
            chunks = obj.chunks if obj.chunks else ()
            print("DATASET", name, kind, "shape", *obj.shape, "chunks", *chunks,
                  "compression", obj.compression or "none", obj.compression_opts or 0)
        for name in sorted(f.attrs):
            value = f.attrs.get_id(name)
            dt = value.dtype
            kind = "str" if h5py.check_string_dtype(dt) is not None else dt.str
            print("ATTR", name, kind, value.shape)


def main():
    mode, path = sys.argv[1], sys.argv[2]
    args = sys.argv[3:]
    if mode == "spectral":
        mode_spectral(path)
    elif mode == "layout":
        mode_layout(path)
    else:
        x = load(path)
        if mode == "scaling":
            mode_scaling(x)
        elif mode == "pca":
            mode_pca(x)
        elif mode == "eigh":
            mode_eigh(x)
        elif mode == "kdtree":
            mode_kdtree(x, int(args[0]))
        elif mode == "dbscan":
            mode_dbscan(x, [(float(args[i]), int(args[i + 1])) for i in range(0, len(args), 2)])
        elif mode == "quality":
            mode_quality(x, int(args[0]))
        else:
            sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
