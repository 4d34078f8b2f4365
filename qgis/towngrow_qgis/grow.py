"""A run of `towngrow run` through the Python module, apart from QGIS.

grow() is the algorithm's only call into the module for a run: once the
module grows a town and writes the command's whole folder itself
(towngrow.grow(..., out=folder)), its body becomes that call and the
statistics table below goes."""
import os


class Stopped(Exception):
    """The run was stopped by its progress callback before its last step."""


def csv_field(text):
    """A CSV field, quoted when it holds a comma, a quote or a line break."""
    if not any(ch in text for ch in ',"\r\n'):
        return text
    return '"' + text.replace('"', '""') + '"'


class StatsTable:
    """stats.csv of `towngrow run`: per step the cells of each land use, of IDs no
    land use has, and the developments per land use."""

    def __init__(self, params):
        self.uses = [(int(u["id"]), u["name"]) for u in params["landUses"]]
        labels = [f"{name} (ID {i})" for i, name in self.uses]
        header = ["step"] + [f"{x} cells" for x in labels] + ["other IDs cells"]
        header += [f"{x} developments" for x in labels]
        self.lines = [",".join(csv_field(h) for h in header)]

    def add(self, report):
        cells = report["cells"]
        first = {}
        for k, (i, _) in enumerate(self.uses):
            first.setdefault(i, k)
        counted = [int(cells[i]) if first[i] == k else 0 for k, (i, _) in enumerate(self.uses)]
        other = int(cells.sum()) - sum(counted)
        developments = [int(d) for d in report["developments"]]
        row = [report["step"], *counted, other, *developments]
        self.lines.append(",".join(str(v) for v in row))

    def text(self):
        return "\n".join(self.lines) + "\n"


def write_atomic(path, text):
    scratch = path + ".part"
    with open(scratch, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(scratch, path)


def grow(towngrow, *, start=None, rows=200, cols=200, steps=100, seed=1, params=None,
         background=None, crs=None, output, folder=None, progress=None):
    """Grows a town as `towngrow run` does and writes its end state to `output`.

    start: a map file (its size is the grid's) or None for the built-in town
    on rows x cols cells; params: a parameter file or None; background: a map
    file or None; crs: any text GDAL takes ("EPSG:32633", WKT), which
    replaces the start's CRS. progress(step, steps) is called after each step; returning
    False stops the run (Stopped is raised, nothing is written). With folder,
    the statistics table stats.csv goes there.

    Returns the simulation at its end state. Bad input raises the module's
    ValueError or OSError, naming the file and key, before anything is written.
    """
    # The order of `towngrow run`: land uses, size, seed, start, background.
    sim = towngrow.Simulation(rows, cols, params)
    towngrow.seed(seed)
    if start is None:
        sim.place_starter_town()
    else:
        sim.load(start)
    if crs:
        sim.crs = crs
    if background is not None:
        sim.background = background
    in_force = sim.params
    stats = StatsTable(in_force)
    stats.add(sim.step(0))

    def each_step(report):
        stats.add(report)
        return progress is None or progress(report["step"], steps) is not False

    ran = sim.run(steps, each_step)
    if ran < steps:
        raise Stopped(f"stopped after {ran} of {steps} steps; nothing was written")
    if folder is not None:
        os.makedirs(folder, exist_ok=True)
        write_atomic(os.path.join(folder, "stats.csv"), stats.text())
    sim.save(output)
    return sim
