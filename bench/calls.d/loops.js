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
  for (var i = 0; i < n; i++) o.getEnvirVar('OMBREL_BENCH_UNSET');
  return new Date().getTime() - t;
}
function timeArgsString(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.isSwitchExist('bench');
  return new Date().getTime() - t;
}
function timeObject(o, n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++) o.cmdArgs;
  return new Date().getTime() - t;
}
function timeEmpty(n) {
  var t = new Date().getTime();
  for (var i = 0; i < n; i++);
  return new Date().getTime() - t;
}
// One sample line: the milliseconds of every form for n calls each, each
// form called on the object given for it (o: an object per form, by name).
function runCalls(o, n) {
  return 'calls-sample n=' + n + ' read=' + timeRead(o.read, n) + ' method=' +
         timeMethod(o.method, n) + ' argsMethod=' + timeArgsMethod(o.argsMethod, n) +
         ' string=' + timeString(o.string, n) + ' argsString=' + timeArgsString(o.argsString, n) +
         ' object=' + timeObject(o.object, n) + ' empty=' + timeEmpty(n);
}
