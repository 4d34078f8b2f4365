"""towngrow.prepare against `towngrow prepare` on small layers made here with GDAL:
the same files byte for byte, a dict recipe read relative to the working
folder, refused recipes with the program's line and nothing written, and
stopping from the progress function."""
import json
import os
import subprocess

import numpy as np
import pytest

import towngrow

gdal = pytest.importorskip("osgeo.gdal")
ogr = pytest.importorskip("osgeo.ogr")
osr = pytest.importorskip("osgeo.osr")

X0, Y0, CELL, N = 500000.0, 4000300.0, 10.0, 30


def write_raster(path, values):
    ds = gdal.GetDriverByName("GTiff").Create(str(path), N, N, 1, gdal.GDT_Byte)
    ds.SetGeoTransform((X0, CELL, 0, Y0, 0, -CELL))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds.SetProjection(srs.ExportToWkt())
    ds.GetRasterBand(1).WriteArray(values)
    ds = None


def write_vector(path, kind, shapes):
    """A GeoPackage of one layer; shapes: (WKT in cells from the top-left, year)."""
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds = ogr.GetDriverByName("GPKG").CreateDataSource(str(path))
    layer = ds.CreateLayer(path.stem, srs, kind)
    layer.CreateField(ogr.FieldDefn("year", ogr.OFTInteger))
    for wkt, year in shapes:
        geometry = ogr.CreateGeometryFromWkt(wkt)
        for i in range(geometry.GetGeometryCount() or 1):
            part = geometry.GetGeometryRef(i) if geometry.GetGeometryCount() else geometry
            for k in range(part.GetPointCount()):
                c, r = part.GetX(k), part.GetY(k)
                part.SetPoint_2D(k, X0 + c * CELL, Y0 - r * CELL)
        feature = ogr.Feature(layer.GetLayerDefn())
        feature.SetGeometry(geometry)
        feature.SetField("year", year)
        layer.CreateFeature(feature)
    ds = None


def make_layers(folder):
    """Land cover (11 water, 21-24 developed, 41 forest), roads of two years,
    an excluded park and the urban cells of a later year."""
    cover = np.full((N, N), 41, dtype=np.uint8)
    cover[10:16, 10:18] = 22
    cover[4:8, 3:9] = 24
    cover[22:, :6] = 11
    write_raster(folder / "landcover.tif", cover)
    urban = (cover != 41).astype(np.uint8) & (cover != 11)
    urban[16:20, 10:20] = 1
    write_raster(folder / "urban-2000.tif", urban)
    write_vector(folder / "roads.gpkg", ogr.wkbLineString,
                 [("LINESTRING (1.5 12.5, 28.5 14.5)", 1980),
                  ("LINESTRING (14.5 1.5, 13.5 28.5)", 1985),
                  ("LINESTRING (20.5 20.5, 27.5 27.5)", 2005)])
    write_vector(folder / "park.gpkg", ogr.wkbPolygon,
                 [("POLYGON ((20 2, 28 2, 28 9, 20 9, 20 2))", 0)])


RECIPE = {
    "grid": {"like": "landcover.tif"},
    "start": [{"raster": "landcover.tif", "classes": {"21-24": 3, "11": 6}},
              {"vector": "roads.gpkg", "where": "year <= 1990", "as": "street"}],
    "background": [{"vector": "park.gpkg", "allow": [0, 2]}],
    "observed": [{"name": "2000", "steps": 10,
                  "layers": [{"raster": "urban-2000.tif", "classes": {"1": 3}}]}],
}


@pytest.fixture
def layers(tmp_path, monkeypatch):
    (tmp_path / "layers").mkdir()
    make_layers(tmp_path / "layers")
    monkeypatch.chdir(tmp_path)
    return tmp_path


def run_program(*args):
    exe = os.environ.get("TOWNGROW_EXE")
    if not exe or not os.path.exists(exe):
        pytest.skip("TOWNGROW_EXE does not name the towngrow program")
    return subprocess.run([exe, *map(str, args)], capture_output=True, text=True)


def files_of(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes()
            for p in sorted(folder.rglob("*")) if p.is_file()}


def test_a_recipe_file_gives_the_programs_files_byte_for_byte(layers):
    (layers / "layers" / "recipe.json").write_text(json.dumps(RECIPE))
    done = run_program("prepare", "layers/recipe.json", "--out", "prepared")
    assert done.returncode == 0, done.stderr
    os.rename("prepared", "by-program")
    result = towngrow.prepare("layers/recipe.json", "prepared")
    expected = files_of(layers / "by-program")
    assert {"start.tif", "background.tif", "observed-2000.tif", "classes.json", "prepare.json",
            "report.html", "start.png"} <= set(expected)
    assert files_of(layers / "prepared") == expected
    assert result["summary"] == done.stdout
    assert (result["start"], result["background"], result["observed"], result["classes"]) == (
        "prepared/start.tif", "prepared/background.tif", {"2000": "prepared/observed-2000.tif"},
        "prepared/classes.json")
    assert (result["steps"], result["rows"], result["cols"]) == ({"2000": 10}, N, N)
    assert result["calibrate"] in done.stdout
    # The maps themselves: the road of 1980-85 as streets, the park as its allowed set.
    start = gdal.Open("prepared/start.tif").ReadAsArray()
    assert set(np.unique(start)) == {0, 1, 2, 3, 6}
    background = gdal.Open("prepared/background.tif").ReadAsArray()
    assert set(np.unique(background)) == {255, 0b101}


def test_a_dict_recipe_reads_its_paths_from_the_working_folder(layers):
    recipe = json.loads(json.dumps(RECIPE), object_hook=lambda d: {
        k: "layers/" + v if k in ("like", "raster", "vector") else v for k, v in d.items()})
    (layers / "layers" / "recipe.json").write_text(json.dumps(RECIPE))
    by_file = towngrow.prepare("layers/recipe.json", "from-file")
    by_dict = towngrow.prepare(recipe, "from-dict")
    for key in ("start", "background"):
        with open(by_dict[key], "rb") as a, open(by_file[key], "rb") as b:
            assert a.read() == b.read(), key
    record = json.loads((layers / "from-dict" / "prepare.json").read_text())
    assert record["given"] == recipe
    assert by_dict["classes"] is not None


@pytest.mark.parametrize("change,line", [  # a change to the recipe, the program's line
    ({"start": [{"raster": "nope.tif", "classes": {"1": 3}}]},
     "start[0].raster: nope.tif: no such file")])
def test_a_refused_recipe_raises_the_programs_line_and_writes_nothing(layers, change, line):
    (layers / "layers" / "recipe.json").write_text(json.dumps(dict(RECIPE, **change)))
    done = run_program("prepare", "layers/recipe.json", "--out", "cli")
    assert done.returncode != 0
    [program_line] = [x for x in done.stderr.splitlines() if x.strip()]
    with pytest.raises(ValueError) as refused:
        towngrow.prepare("layers/recipe.json", "out")
    assert line in str(refused.value)
    assert str(refused.value) in program_line
    assert not (layers / "out").exists() and not (layers / "cli").exists()


def test_stopping_from_progress_writes_nothing_and_warnings_name_the_id(layers):
    stages = []

    def stop_at_observed(stage):
        stages.append(stage)
        if stage.startswith("Making observed"):
            raise KeyboardInterrupt

    (layers / "layers" / "recipe.json").write_text(json.dumps(RECIPE))
    with pytest.raises(KeyboardInterrupt):
        towngrow.prepare("layers/recipe.json", "out", progress=stop_at_observed)
    assert stages[-3:] == ["Making start.tif", "Making background.tif",
                           "Making observed-2000.tif"]
    assert not (layers / "out").exists()
    recipe = dict(RECIPE, start=[{"raster": "landcover.tif", "classes": {"41": 12}}])
    (layers / "layers" / "recipe.json").write_text(json.dumps(recipe))
    with pytest.warns(towngrow.TowngrowWarning, match=r"start\[0\].classes.*ID 12"):
        towngrow.prepare("layers/recipe.json", "out")
    assert (layers / "out" / "start.tif").exists()
