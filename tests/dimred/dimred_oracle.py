#!/usr/bin/python3
# Independent reference values for the dimension-reduction tests (numpy,
# scipy, sklearn, h5py), run by the tests with Debian's interpreter as
#
#     /usr/bin/python3 tests/dimred/dimred_oracle.py <mode> <input> [args]
#
# The input holds "rows cols" and then one row of numbers per line; every
# output line is "<tag> <numbers...>". Modes:
#   pca         CENTRE, SCALE: median and MAD x 1.4826 per column (scipy), the
#               sample standard deviation, then 1.0, as fallbacks; on the data
#               scaled so, SKCOMP1, SKCOMP2, SKRATIO of sklearn's PCA and
#               EIGVAL (shares), EIGVEC1, EIGVEC2 of numpy.linalg.eigh of
#               Z^T Z / (n - 1), the moments about the median; every vector
#               oriented with its largest-magnitude entry positive
#   kdtree K    IDX and DIST of the K nearest other rows (sklearn KDTree)
#   dbscan EPS MINPTS [EPS MINPTS ...]
#               LABELS per setting: sklearn DBSCAN of the finite rows, -1 elsewhere
#   spectral N  rows "i j w", the undirected edges of an N-node graph, then N
#               rows "x y 0" of a layout: GAP between the 3rd and 4th largest
#               eigenvalues of D^-1/2 W D^-1/2; COS, the |cosine| of x and of y
#               to the span of the 2nd and 3rd eigenvectors, then that of x to y
#   quality K   rows "x y": the embedded BLOB rows of umap_oracle.txt, in order.
#               Of the training rows (labels 0-2), KNNACC (leave-one-out vote
#               of K embedded neighbours) and TRUST (sklearn trustworthiness
#               against the robust-scaled data, K neighbours); HELD, the share
#               of the held-out rows (labels 3-5) nearest to their blob's
#               embedded centroid
#   layout      an HDF5 file: dtype, shape, chunks and compression of every
#               dataset, dtype and shape of every root attribute
#   craft       lines "<source> <target> <edit>...": copies source to target
#               and edits the copy's root with h5py. Edits: -NAME removes an
#               attribute or dataset; @NAME=TYPE:V,... sets an attribute (i8,
#               u8, f8 or str; several values make a 1-D attribute);
#               NAME=TYPE[D1xD2]:V,... sets a dataset (f8, str, or S8 of 8 bytes
#               space-padded), one value filling it; without ":" the dataset
#               is chunked and left unwritten, so a tiny file can declare
#               enormous extents
#   umap        (no input) umap-learn's values for the UMAP tests, stored once
#               because umap-learn (0.5.3) needs about 25 s to import; compared
#               at 1e-5:
#     /usr/bin/python3 tests/dimred/dimred_oracle.py umap > tests/dimred/umap_oracle.txt
import sys

import numpy as np


def load(path):
    rows, cols = (int(v) for v in open(path).readline().split())
    return np.loadtxt(path, skiprows=1, ndmin=2).reshape(rows, cols)


def emit(tag, values):
    print(tag, " ".join(repr(float(v)) for v in np.ravel(values)))


def robust_scaled(x):
    from scipy.stats import median_abs_deviation
    centre = np.median(x, axis=0)
    scale, sd = median_abs_deviation(x, axis=0, scale=1.0) * 1.4826, np.std(x, axis=0, ddof=1)
    scale = np.where(scale > 0, scale, np.where(sd > 0, sd, 1.0))
    return centre, scale, (x - centre) / scale


def pca(path):
    from sklearn.decomposition import PCA
    x = load(path)
    centre, scale, z = robust_scaled(x)
    sk = PCA(n_components=2, svd_solver="full").fit(z)
    values, vectors = np.linalg.eigh(z.T @ z / (x.shape[0] - 1))
    orient = lambda v: v * np.sign(v[np.argmax(np.abs(v))])  # largest entry positive
    for tag, v in [("CENTRE", centre), ("SCALE", scale), ("SKCOMP1", orient(sk.components_[0])),
                   ("SKCOMP2", orient(sk.components_[1])), ("SKRATIO", sk.explained_variance_ratio_),
                   ("EIGVAL", values[::-1] / values.sum()), ("EIGVEC1", orient(vectors[:, -1])),
                   ("EIGVEC2", orient(vectors[:, -2]))]:
        emit(tag, v)


def kdtree(path, k):
    from sklearn.neighbors import KDTree
    x, k = load(path), int(k)
    dist, idx = KDTree(x).query(x, k=min(k + 1, x.shape[0]))
    for i in range(x.shape[0]):
        emit("IDX", idx[i][idx[i] != i][:k])
        emit("DIST", dist[i][idx[i] != i][:k])


def dbscan(path, *args):
    from sklearn.cluster import DBSCAN
    x = load(path)
    finite = np.all(np.isfinite(x), axis=1)
    for eps, min_pts in zip(args[::2], args[1::2]):
        labels = np.full(x.shape[0], -1)
        labels[finite] = DBSCAN(eps=float(eps), min_samples=int(min_pts)).fit(x[finite]).labels_
        emit("LABELS", labels)


def spectral(path, n):
    x, n = load(path), int(n)
    w = np.zeros((n, n))
    for i, j, v in x[:-n]:
        w[int(i), int(j)] += v
        w[int(j), int(i)] += v
    dinv = 1.0 / np.sqrt(w.sum(axis=1))
    values, vectors = np.linalg.eigh(dinv[:, None] * w * dinv[None, :])
    emb = x[-n:, :2] / np.linalg.norm(x[-n:, :2], axis=0)
    emit("GAP", [values[-3] - values[-4]])
    emit("COS", [*np.linalg.norm(vectors[:, -3:-1].T @ emb, axis=0), emb[:, 0] @ emb[:, 1]])


def quality(path, k):
    from sklearn.manifold import trustworthiness
    from sklearn.neighbors import NearestNeighbors
    blob = np.array([line.split()[1:] for line in open(__file__.replace("dimred_oracle.py",
                     "umap_oracle.txt")) if line.startswith("BLOB ")], dtype=float)
    pos, k, labels = load(path), int(k), blob[:, 0].astype(int)
    emb, tl, train = pos[labels < 3], labels[labels < 3], blob[labels < 3, 1:]
    idx = NearestNeighbors(n_neighbors=k + 1).fit(emb).kneighbors(emb, return_distance=False)
    votes = [np.bincount(tl[[j for j in row if j != i][:k]], minlength=3).argmax()
             for i, row in enumerate(idx)]
    emit("KNNACC", [np.mean(np.array(votes) == tl)])
    emit("TRUST", [trustworthiness(robust_scaled(train)[2], emb, n_neighbors=k)])
    centres = np.array([emb[tl == b].mean(axis=0) for b in range(3)])
    nearest = np.argmin(((pos[labels >= 3, None] - centres[None]) ** 2).sum(axis=2), axis=1)
    emit("HELD", [np.mean(nearest == labels[labels >= 3] - 3)])


def layout(path):
    import h5py
    kind = lambda dt: "str" if h5py.check_string_dtype(dt) is not None else dt.str
    with h5py.File(path, "r") as f:
        for name, d in sorted(f.items()):
            print("DATASET", name, kind(d.dtype), "shape", *d.shape, "chunks", *(d.chunks or ()),
                  "compression", d.compression or "none", d.compression_opts or 0)
        for name in sorted(f.attrs):
            a = f.attrs.get_id(name)
            print("ATTR", name, kind(a.dtype), a.shape)


def craft(path):
    import shutil
    import h5py
    for line in open(path):
        source, target, *edits = line.split()
        shutil.copy(source, target)
        with h5py.File(target, "r+") as f:
            for edit in edits:
                name, _, spec = edit.lstrip("-@").partition("=")
                if name in f.attrs:
                    del f.attrs[name]
                if name in f and edit[0] != "@":
                    del f[name]
                if edit[0] == "-":
                    continue
                kind, colon, text = spec.partition(":")
                kind, _, shape = kind.rstrip("]").partition("[")
                values = text.split(",") if text else []
                dims = tuple(int(d) for d in shape.split("x")) if shape else ()
                if kind == "str":
                    data = np.array(values, dtype=h5py.string_dtype())
                else:
                    data = np.array([v if kind == "S8" else float(v) if kind == "f8" else int(v)
                                     for v in values], "S8" if kind == "S8" else "<" + kind)
                if edit[0] == "@":
                    f.attrs.create(name, data if len(values) > 1 else data[0])
                elif not colon:
                    f.create_dataset(name, dims, data.dtype if kind == "str" else "<f8",
                                     chunks=(1,) * len(dims))
                elif kind == "S8":  # fixed length, space-padded, as other tools write names
                    tid = h5py.h5t.C_S1.copy()
                    tid.set_size(8)
                    tid.set_strpad(h5py.h5t.STR_SPACEPAD)
                    h5py.h5d.create(f.id, name.encode(), tid, h5py.h5s.create_simple(dims)).write(
                        h5py.h5s.ALL, h5py.h5s.ALL, np.array([v.ljust(8) for v in values], "S8"))
                else:
                    f.create_dataset(name, data=np.full(dims, data[0]) if data.size == 1 and
                                     kind == "f8" else data.reshape(dims))


def umap():
    import umap.umap_ as uu
    from sklearn.manifold import trustworthiness
    from sklearn.neighbors import KDTree
    for spread, min_dist in [(1.0, 0.1), (1.0, 0.0), (1.0, 0.5), (2.0, 0.3), (0.5, 0.05), (1.0, 0.99)]:
        emit("AB", [spread, min_dist, *uu.find_ab_params(spread, min_dist)])
    # umap-learn counts every point as its own first neighbour (as KDTree
    # lists it) and skips that column; our tables leave it out.
    rng = np.random.default_rng(2025)
    dists = np.sort(0.1 + 3.0 * rng.random((40, 8)) * rng.random((40, 8)), axis=1)
    dists[3, :2] = 0.0
    dists[7, :1] = 0.0
    sigma, rho = uu.smooth_knn_dist(np.hstack([np.zeros((40, 1)), dists]), 8.0)
    emit("SMOOTHDIST", dists)
    emit("SMOOTHSIGMA", sigma)
    emit("SMOOTHRHO", rho)
    blob = lambda n: np.vstack([rng.normal(size=(n, 6)) + 8.0 * b * np.eye(6)[b] for b in range(3)])
    x = blob(30)
    dist, idx = KDTree(x).query(x, k=11)
    graph, sigma, rho = uu.fuzzy_simplicial_set(x, 10, None, "euclidean", knn_indices=idx,
                                                knn_dists=dist)
    emit("GRAPHX", x)
    emit("GRAPHSIGMA", sigma)
    emit("GRAPHRHO", rho)
    graph = graph.tocoo()
    for i, j, w in sorted(zip(graph.row, graph.col, graph.data)):
        if i < j and w > 0:
            emit("EDGE", [i, j, w])
    # The quality test's blobs: 100 training and 40 held-out rows per blob,
    # and umap-learn's trustworthiness on the robust-scaled training rows.
    train, held = blob(100), blob(40)
    for label, row in zip(np.r_[np.repeat(range(3), 100), np.repeat(range(3, 6), 40)],
                          np.vstack([train, held])):
        emit("BLOB", [label, *row])
    z = robust_scaled(train)[2]
    emit("PEERTRUST", [trustworthiness(z, uu.UMAP(random_state=s).fit_transform(z), n_neighbors=10)
                       for s in (1, 2, 3)])


def pcaproject(path, target_path):
    # Fit on the pooled training rows (robust scaling about the median, the
    # two leading eigenvectors of the scaled second moments), project every
    # target row; rows with a non-finite value come out NaN.
    x, t = load(path), load(target_path)
    centre, scale, z = robust_scaled(x)
    values, vectors = np.linalg.eigh(z.T @ z / (x.shape[0] - 1))
    orient = lambda v: v * np.sign(v[np.argmax(np.abs(v))])
    v1, v2 = orient(vectors[:, -1]), orient(vectors[:, -2])
    zt = (t - centre) / scale
    bad = ~np.all(np.isfinite(t), axis=1)
    p1, p2 = zt @ v1, zt @ v2
    p1[bad] = np.nan
    p2[bad] = np.nan
    emit("P1", p1)
    emit("P2", p2)


if __name__ == "__main__":
    globals()[sys.argv[1]](*sys.argv[2:])
