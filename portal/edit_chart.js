// The profile under the editor's map: distance against altitude, or against speed for a
// recorded track without one (PortalEditProfile's series), drawn by the chart library
// (Chart.js 2). Hovering the chart names the point under the pointer (onHover(segment, point),
// null when it leaves), so that the map can mark it.
var PortalEditChart = (function () {
    "use strict";

    var SAMPLES = 400;
    var TITLES = {altitude: "海拔（米）", speed: "速度（公里/小时）"};

    // Whether the chart library is there: the editor works without its chart.
    function available() {
        return typeof Chart === "function";
    }

    function EditChart(canvas, onHover) {
        this.canvas = canvas;
        this.onHover = onHover;
        this.chart = null;
        this.samples = [];
    }

    // The profile of `doc` (`figures`: its figures): false when the track has neither altitude
    // nor times to show.
    EditChart.prototype.show = function (doc, figures) {
        var series = PortalEditProfile.profile(doc, SAMPLES, figures);
        this.samples = series.samples;
        if (!series.kind || series.samples.length < 2 || !available()) {
            this.clear();
            return false;
        }
        var data = series.samples.map(function (s) { return {x: s.x, y: s.y}; });
        if (this.chart && this.chart.kind === series.kind) {
            this.chart.data.datasets[0].data = data;
            this.chart.update(0);
            return true;
        }
        this.clear();
        this.chart = new Chart(this.canvas.getContext("2d"), this.config(series.kind, data));
        this.chart.kind = series.kind;
        return true;
    };

    EditChart.prototype.config = function (kind, data) {
        var self = this;
        return {
            type: "line",
            data: {datasets: [{data: data, borderColor: "#2f7ed8", backgroundColor: "rgba(47,126,216,0.15)",
                               borderWidth: 1.5, pointRadius: 0, pointHitRadius: 4, lineTension: 0}]},
            options: {
                animation: false, responsive: true, maintainAspectRatio: false,
                legend: {display: false},
                scales: {xAxes: [{type: "linear", scaleLabel: {display: true, labelString: "距离（公里）"}}],
                         yAxes: [{scaleLabel: {display: true, labelString: TITLES[kind]}}]},
                tooltips: {mode: "index", intersect: false, displayColors: false,
                           callbacks: {title: function (items) { return items[0].xLabel.toFixed(2) + " 公里"; }}},
                hover: {mode: "index", intersect: false},
                onHover: function (event, elements) {
                    var s = elements && elements.length ? self.samples[elements[0]._index] : null;
                    self.onHover(s ? s.segment : null, s ? s.point : null);
                }
            }
        };
    };

    EditChart.prototype.clear = function () {
        if (this.chart) this.chart.destroy();
        this.chart = null;
    };

    return EditChart;
})();
