"""Fixed-point elementary functions and Kepler's equation."""
import kelvra.elementary as el

print("exp(1) =", el.exp(1.0), " log(10) =", el.log(10.0))
print("sin(0.5) =", el.sin(0.5), " cos(0.5) =", el.cos(0.5), " atan2(1, -1) =", el.atan2(1.0, -1.0))
mean_anomaly, e = 1.0, 0.0167
big_e = el.kepler_solve(mean_anomaly, e)
print("Earth: E =", big_e, " equation of centre =", el.equation_of_centre(mean_anomaly, e))
print("cos over an array:", el.elementwise("cos", [0.0, 0.5, 1.0]))
