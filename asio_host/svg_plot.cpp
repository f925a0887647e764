#include "asio_host/svg_plot.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Width = 960, PanelHeight = 260, Margin = 60, Top = 40;

struct Panel {
    int top;
    double xLow, xHigh, yLow, yHigh;
    double X(double x) const { return Margin + (x - xLow) / (xHigh - xLow) * (Width - 2 * Margin); }
    double Y(double y) const { return top + PanelHeight - (y - yLow) / (yHigh - yLow) * PanelHeight; }
};

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", value);
    return text;
}

// XML text: the title may hold a driver name with any character.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

void Frame(std::string& svg, const Panel& panel, const std::string& caption, const std::string& xLabel,
           const std::string& yLabel)
{
    svg += "<rect x=\"" + Number(Margin) + "\" y=\"" + Number(panel.top) + "\" width=\"" + Number(Width - 2 * Margin) +
           "\" height=\"" + Number(PanelHeight) + "\" fill=\"#fafafa\" stroke=\"#888\"/>\n";
    svg += "<text x=\"" + Number(Margin) + "\" y=\"" + Number(panel.top - 8) + "\">" + Escaped(caption) + "</text>\n";
    svg += "<text x=\"" + Number(Width - Margin) + "\" y=\"" + Number(panel.top + PanelHeight + 30) +
           "\" text-anchor=\"end\">" + Escaped(xLabel) + "</text>\n";
    for (double y : {panel.yLow, (panel.yLow + panel.yHigh) / 2, panel.yHigh})
        svg += "<text x=\"" + Number(Margin - 6) + "\" y=\"" + Number(panel.Y(y) + 4) + "\" text-anchor=\"end\">" +
               Number(y) + "</text>\n";
    svg += "<text x=\"" + Number(Margin - 6) + "\" y=\"" + Number(panel.top + PanelHeight + 16) +
           "\" text-anchor=\"end\">" + Escaped(yLabel) + "</text>\n";
}

void Polyline(std::string& svg, const Panel& panel, const std::vector<double>& xs, const std::vector<double>& ys,
              const char* colour, const char* name)
{
    svg += std::string("<polyline class=\"") + name + "\" fill=\"none\" stroke=\"" + colour +
           "\" stroke-width=\"1\" points=\"";
    for (std::size_t i = 0; i < xs.size(); ++i) {
        double y = std::clamp(ys[i], panel.yLow, panel.yHigh);
        svg += Number(panel.X(xs[i])) + "," + Number(panel.Y(y)) + " ";
    }
    svg += "\"/>\n";
}

}  // namespace

std::string RunPlotSvg(const RunPlot& plot)
{
    const int height = Top + 2 * (PanelHeight + 70);
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(Width) + "\" height=\"" +
                      std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + Number(Margin) + "\" y=\"20\" font-size=\"15\">" + Escaped(plot.title) + "</text>\n";

    // Periods: the y axis reaches three expected periods, or the worst one when higher.
    double worst = plot.periodsMs.empty() ? 0.0 : *std::max_element(plot.periodsMs.begin(), plot.periodsMs.end());
    double end = plot.switchSeconds.empty() ? 1.0 : std::max(plot.switchSeconds.back(), 0.001);
    Panel periods = {Top + 20, 0.0, end, 0.0, std::max({3 * plot.expectedMs, worst * 1.05, 1.0})};
    Frame(svg, periods, "Callback periods (expected " + Number(plot.expectedMs) + " ms, dashed)", "run time (s)", "ms");
    svg += "<line stroke=\"#2a2\" stroke-dasharray=\"6,4\" x1=\"" + Number(periods.X(0)) + "\" x2=\"" +
           Number(periods.X(end)) + "\" y1=\"" + Number(periods.Y(plot.expectedMs)) + "\" y2=\"" +
           Number(periods.Y(plot.expectedMs)) + "\"/>\n";
    Polyline(svg, periods, plot.switchSeconds, plot.periodsMs, "#1f5fbf", "periods");

    // The signal excerpt in milliseconds from its start.
    Panel signal = {Top + PanelHeight + 90, 0.0,
                    std::max(1000.0 * double(plot.sent.size()) / std::max(plot.rate, 1.0), 0.001), -1.0, 1.0};
    std::string caption = plot.looped.empty() ? std::string("Sent signal (no looped-back signal found)")
                                              : "Sent signal (blue) and looped-back signal (red), shifted back by " +
                                                    std::to_string(plot.lag) + " frames";
    Frame(svg, signal, caption, "excerpt time (ms)", "");
    std::vector<double> xs, ys;
    for (std::size_t i = 0; i < plot.sent.size(); ++i) {
        xs.push_back(1000.0 * double(i) / plot.rate);
        ys.push_back(plot.sent[i]);
    }
    Polyline(svg, signal, xs, ys, "#1f5fbf", "sent");
    if (!plot.looped.empty()) {
        ys.assign(plot.looped.begin(), plot.looped.end());
        xs.resize(ys.size());
        Polyline(svg, signal, xs, ys, "#d03030", "looped");
    }
    svg += "</svg>\n";
    return svg;
}

bool WriteRunPlot(const std::string& path, const RunPlot& plot, std::string& error)
{
    std::string svg = RunPlotSvg(plot);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    written = (std::fclose(file) == 0) && written;
    if (!written) error = "cannot write " + path;
    return written;
}
