// @ts-check
// The page's view: the status line, the progress bar and the file list.
// Every change is also logged, and DOM writes that the page engine does not
// offer (it runs pages without drawing them, as in automated runs) are
// skipped, so the application's logic works the same with or without a
// rendered page.

var view = (function () {
  /** @param {string} id */
  function element(id) {
    return document.getElementById(id);
  }

  /** @param {string} id @param {string} text */
  function setText(id, text) {
    var node = element(id);
    if (!node) return;
    try {
      node.innerText = text;
    } catch (e) {
      // No text nodes in this engine: the log line stands in.
    }
  }

  /** @param {number} bytes */
  function size(bytes) {
    if (bytes < 1024) return bytes + ' B';
    if (bytes < 1024 * 1024) return (bytes / 1024).toFixed(1) + ' KB';
    return (bytes / 1024 / 1024).toFixed(1) + ' MB';
  }

  return {
    size: size,

    /** @param {string} text */
    status: function (text) {
      console.log('filetool: ' + text);
      setText('status', text);
    },

    /** @param {string} folder */
    folder: function (folder) {
      setText('folder', folder);
    },

    /** @param {{name: string, size: number}[]} entries */
    list: function (entries) {
      var lines = [];
      for (var i = 0; i < entries.length; i++) lines.push(entries[i].name + '  (' + size(entries[i].size) + ')');
      setText('list', lines.join('\n'));
    },

    /** @param {string} id @param {boolean} on */
    check: function (id, on) {
      var box = /** @type {HTMLInputElement | null} */ (element(id));
      if (!box) return;
      try {
        box.checked = on;
      } catch (e) {
        // No form state in this engine.
      }
    },

    /** @param {number} fraction 0..1 */
    progress: function (fraction) {
      var fill = element('fill');
      if (!fill) return;
      try {
        fill.style.width = Math.round(fraction * 100) + '%';
      } catch (e) {
        // No styles in this engine.
      }
    }
  };
})();
