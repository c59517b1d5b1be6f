// A window cut from a bitmap: its white pixels become holes, its size is the
// bitmap's, and from then on size, caption and resize writes leave it alone.
// The page ends the process itself with quit and an exit code that says
// whether every check passed.
var t = window.external.test;
var w = window.external.window;
var x = window.external.wintest;
var failed = 0;

function check(passed, name) {
  if (!t.ok(passed, name)) failed++;
}

w.show(true);
w.setWindowPos(10, 10, 300, 200);
w.shapeImage = 'missing.bmp';
check(w.width == 300 && w.height == 200, 'a missing shape file changes nothing');
check(x.inRegion(5, 5), 'and cuts no holes');

w.shapeImage = 'shape.bmp';
check(w.width == 40 && w.height == 30, 'the frame takes the bitmap size: ' + w.width + 'x' + w.height);
check((x.style() & 0xC40000) == 0, 'the caption and sizing border are gone');
check((x.classStyle() & 0x20000) != 0, 'and the window casts a drop shadow');
check(!x.inRegion(5, 5), 'white pixels are see-through');
check(x.inRegion(30, 5) && x.inRegion(39, 29), 'other pixels are part of the window');
check(!x.inRegion(41, 5), 'nothing beyond the bitmap is');

w.width = 100;
check(w.width == 40, 'a width written after the shape is ignored');
w.caption = true;
w.resize = true;
check((x.style() & 0xC40000) == 0, 'so are caption and resize');

var raised = false;
try { w.quit(1.5); } catch (e) { raised = true; }
check(raised, 'quit needs a 32-bit integer');
t.log(failed ? 'failures: ' + failed : 'all passed');
w.quit(failed ? 3 : 0);
