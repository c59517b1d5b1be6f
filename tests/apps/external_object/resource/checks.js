// Checks of the external object's name rules, run from index.html.
function throws(f) {
  try { f(); return false; } catch (e) { return true; }
}

function runExternalChecks(t) {
  var ext = window.external;

  // Names are case-sensitive; unknown names are script errors.
  t.ok(throws(function () { return ext.Console.log; }), 'Console (capital C) is unknown');
  t.ok(throws(function () { return ext.noSuchPlugin.x; }), 'an unknown plug-in name throws');

  // loadPlugin and createWindow work only when called.
  t.equal(typeof ext.loadPlugin, 'undefined', 'loadPlugin read as a property is undefined');
  t.equal(typeof ext.createWindow, 'undefined', 'createWindow read as a property is undefined');

  // A flags-0 plug-in is the same object on every read; flags 1 gives a new,
  // initialised instance on every read.
  t.ok(ext.console === ext.console, 'console is kept');
  var a = ext.testplugfresh, b = ext.testplugfresh;
  t.ok(a !== b, 'a flags-1 plug-in is new on every read');
  t.ok(a.initialized && b.initialized, 'each new instance is initialised');

  // loadPlugin answers true for a library it could read, false otherwise.
  t.equal(loadPlugin('no-such-library.dll'), false, 'loadPlugin of a missing file answers false');
  t.equal(loadPlugin('resource\\index.html'), false, 'loadPlugin of a non-image answers false');

  // A library that loads answers true, also when it is unloaded again for a
  // contract failure (another major version); its name stays unknown.
  var support = t.env('OMBREL_SUPPORT_DIR'), build = t.env('OMBREL_BUILD_DIR');
  t.ok(!!(support && build), 'the test environment names the build folders');
  t.equal(loadPlugin(build + '\\plugins\\Vellum.dll'), true, 'loadPlugin of a plug-in library answers true');
  t.equal(loadPlugin(support + '\\testplug.dll'), true, 'loadPlugin of a test library answers true');
  t.equal(window.external.testplug.name, 'testplug', 'its plug-in is reachable by its name at once');
  t.equal(loadPlugin(support + '\\testplug_major2.dll'), true, 'a library of another major version answers true');
  t.ok(throws(function () { return ext.wrongmajor.name; }), 'but its plug-in is not registered');
  t.equal(loadPlugin(support + '\\testplug32.dll'), false, 'a 32-bit library is refused');

  // console members.
  t.ok(throws(function () { console.warn('x'); }), 'console has no warn');
  t.ok(throws(function () { console.log(); }), 'console.log without argument throws');
  t.equal(console.log(42), undefined, 'console.log of a number is silent');
  t.equal(typeof console.showJsError, 'undefined', 'showJsError starts empty');
  console.showJsError = false;
  t.equal(console.showJsError, false, 'showJsError keeps what script wrote');

  // A plug-in first read after the document completed catches up on both
  // notifications before script gets it.
  waitFor('the document to complete', function () { return ext.test.notices.indexOf('D') >= 0; },
          function () {
    t.equal(ext.test.notices, 'ND', 'the reporter was caught up with N then D');
    t.done();
  });
}
