// The timed loops of the calls bench, run unchanged by the host's bench page
// and by the floor program (bench/calls_floor.cpp). Each loop makes n calls
// of one form on the object it is given and answers the milliseconds taken.
// The member names are those of the host's system and window plug-ins and
// of the command-line object; the floor's objects answer the same names.
function timeRead(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.isX64Process;
  return new Date().getTime() - t;
}
function timeMethod(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.isVisible();
  return new Date().getTime() - t;
}
function timeArgsMethod(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.getOrgArgsCount();
  return new Date().getTime() - t;
}
function timeString(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.isSwitchExist('bench');
  return new Date().getTime() - t;
}
function timeEnvString(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.getEnvirVar('OMBREL_BENCH_UNSET');
  return new Date().getTime() - t;
}
function timeObject(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.cmdArgs;
  return new Date().getTime() - t;
}
function timeEmpty(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++);
  return new Date().getTime() - t;
}
// The least of three timings of one loop: a run interrupted by other work on
// the machine does not count.
function best(loop, o, n) {
  var least = loop(o, n);
  for (var k = 1; k < 3; k++) least = Math.min(least, loop(o, n));
  return least;
}
// One sample line: the milliseconds of every form for n calls each, each
// form called on the object given for it (o: an object per form, by name).
function runCalls(o, n) {
  return 'calls-sample n=' + n + ' read=' + best(timeRead, o.read, n) + ' method=' +
         best(timeMethod, o.method, n) + ' argsMethod=' + best(timeArgsMethod, o.argsMethod, n) +
         ' string=' + best(timeString, o.string, n) + ' envString=' +
         best(timeEnvString, o.envString, n) + ' object=' + best(timeObject, o.object, n) +
         ' empty=' + best(timeEmpty, null, n);
}
