#!/usr/bin/env python3
"""Checks that includes between the folders of src/ go the allowed way.

Every folder of src/ is a library (or a GUI-free core and its widgets). A file
may include headers of its own folder and of the folders listed for it below;
the compiler enforces the same through each library's include root, and this
check names the offending line in one run over the whole tree. Files of the
GUI-free libraries must not include Qt Widgets, Qt Gui or Qwt headers.

    scripts/check-include-edges.py [SRC_DIR]

Prints one line per violation and exits 1, or prints a summary and exits 0.
"""
import os
import re
import sys

# folder -> folders its files may include (besides their own)
ALLOWED = {
    "core": set(),
    "util": set(),
    "density": {"core"},
    # The calculations dock reads the active dataset's reader from its record
    # and hands out the UMAP parameter record; the GUI-free calc core needs
    # neither.
    "calc": {"core", "util", "model", "dimred"},
    # The evaluation window, its category panels and the summary export
    # dialog read datasets from the store, and its plot documents go through
    # the plots library's checked writers; the GUI-free statistics kernels
    # need none of these (their library links nothing of core or model).
    "stats": {"util", "core", "model", "plots"},
    "dimred": {"core"},
    "model": {"core", "calc", "density"},
    "plots": {"core", "calc", "density", "util"},
    "filters": {"core", "model", "util"},
    # The combined plot window and the image gallery read datasets and filters
    # from the store and ask their host (an interface of their own) for the rest.
    "compare": {"core", "density", "plots", "util", "model"},
    "services": {"core", "model", "util"},
    "session": {"core", "calc", "model", "util"},
    "app": {"core", "util", "density", "calc", "stats", "dimred", "model", "plots",
            "filters", "compare", "services", "session"},
    "resources": set(),
}

# Windows of these folders may include the main window's header and nothing
# else of app. The combined plot window and the gallery (compare) may not.
WINDOW_HOST_HEADER = "app/MainWindow.h"
WINDOW_FOLDERS = {"calc", "stats"}

# Files of folders with widgets that belong to the widget libraries; every
# other file of these folders is GUI-free.
WIDGET_FILES = {
    "util": {"DialogProvider", "ScreenFitMessageBox", "WindowUtil", "DatasetDragPayload",
             "WrapRowLayout", "DatasetPickDialog"},
    "calc": {"EModQualityDialog", "CalculationsDockWidget", "CalculationsDockEmod",
             "CalculationsDockDimRed"},
    # Every StatisticalEvalWindow*.cpp part of the window counts as the window.
    "stats": {"StatisticalEvalWindow*", "CategoryPanel", "GroupComparisonPlot", "RocPlot",
              "DistributionPlot", "StatSummaryExportDialog", "EvaluationPlotExport",
              "ResultTableFit", "WordWrap"},
    "compare": {"CombinePlotWindow*", "CombineDatasetWidget", "CombineDatasetRef",
                "ImageGalleryWindow*", "GalleryGridWidget"},
    "session": {"ExportDialog"},
    "services": {"AboutDialog", "FeedbackDialog", "FeedbackSender", "HelpWindow",
                 "NetworkReplies", "UpdateChecker"},
}
GUI_FREE_FOLDERS = {"core", "density", "model", "dimred"}
GUI_HEADER = re.compile(
    r"^(Qt(Widgets|Gui|Svg|PrintSupport)/|qwt|Q(Widget|Application|Painter|Image|Pixmap|Color|"
    r"Pen|Brush|Font|Icon|Dialog|MainWindow|Action|Menu|MessageBox|Label|GuiApplication)\b)")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def is_widget_file(folder, stem):
    """A name ending in "*" in WIDGET_FILES stands for every stem it begins."""
    for name in WIDGET_FILES.get(folder, ()):
        if stem == name or (name.endswith("*") and stem.startswith(name[:-1])):
            return True
    return False


def gui_free(folder, stem):
    if folder in GUI_FREE_FOLDERS:
        return True
    return folder in WIDGET_FILES and not is_widget_file(folder, stem)


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "src")
    problems = []
    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    edges = set()
    for folder in folders:
        if folder not in ALLOWED:
            problems.append(f"src/{folder}: folder has no entry in the allowed edges")
            continue
        for root, _dirs, files in os.walk(os.path.join(src, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, os.path.join(src, ".."))
                stem = os.path.splitext(name)[0]
                with open(path, encoding="utf-8") as handle:
                    for number, line in enumerate(handle, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        quote, header = match.groups()
                        where = f"{rel}:{number}: #include {quote}{header}"
                        if quote == '"' and "/" in header:
                            target = header.split("/", 1)[0]
                            if target == folder:
                                continue
                            if header == WINDOW_HOST_HEADER and folder in WINDOW_FOLDERS \
                                    and not gui_free(folder, stem):
                                edges.add((folder, target))
                                continue
                            if target not in ALLOWED.get(folder, set()):
                                problems.append(f"{where}: {folder} may not include {target}")
                            else:
                                edges.add((folder, target))
                        elif quote == "<" and gui_free(folder, stem) and GUI_HEADER.match(header):
                            problems.append(f"{where}: a GUI-free file includes a GUI header")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) go the wrong way")
        return 1
    print(f"{len(folders)} folders, {len(edges)} edges in use, all allowed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
