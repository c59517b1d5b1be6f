// Shared by the end-to-end pages; run-app.sh copies it next to every
// application's index.html, so a page loads it with <script src="wait.js">.
//
// Runs then() once check() holds, looking again as the page's messages are
// handled; after ms (10 s when not given) it reports what never happened
// through the test plug-in and ends the run.
function waitFor(what, check, then, ms) {
  var t = window.external.test;
  var end = new Date().getTime() + (ms || 10000);
  (function look() {
    if (check()) then();
    else if (new Date().getTime() > end) { t.ok(false, 'waited in vain for ' + what); t.done(); }
    else setTimeout(look, 10);
  })();
}
