# Independent reading of a session file (.QV3) written by the program.
#
# Run as: /usr/bin/python3 tests/session/session_oracle.py SESSION.QV3
# For every dataset that is no duplicate, the stored relative path must lead
# to the measurement from the session's folder, and its fingerprint must be
# what Python finds in the file: size in bytes, event count, and
# sha256(b"".join(sorted(names))).hexdigest()[:12] over the names under
# /events (h5py, so features the program computed are not among them).
# Prints one line per dataset; exits 1 on the first mismatch.
import hashlib
import json
import os
import sys

import h5py

session = sys.argv[1]
with open(session, "rb") as f:
    text = f.read().decode("utf-8")
doc = json.loads(text)
if doc["version"] != 1 or "null" in text:
    sys.exit("bad version or a null value")
folder = os.path.dirname(os.path.abspath(session))
for index, ds in enumerate(doc["datasets"]):
    if ds["isDuplicate"]:
        print("DUP", index, ds["duplicateOfIndex"])
        continue
    path = os.path.normpath(os.path.join(folder, ds["filePath"]))
    with h5py.File(path, "r") as h5:
        names = sorted(n.encode("utf-8") for n in h5["events"].keys())
        count = len(h5["events"][names[0].decode()])
    fp = ds["fingerprint"]
    expected = (os.path.getsize(path), count, hashlib.sha256(b"".join(names)).hexdigest()[:12])
    if (fp["fileSize"], fp["eventCount"], fp["featureHash"]) != expected:
        sys.exit("dataset %d: stored %r, found %r" % (index, fp, expected))
    print("OK", index, ds["duplicateOfIndex"])
